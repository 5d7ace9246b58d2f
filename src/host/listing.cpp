#include "host/listing.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <memory>
#include <new>
#include <string>
#include <string_view>
#include <vector>

#include "core/dispatch.h"
#include "core/encodings.h"
#include "core/fields.h"
#include "core/handlers.h"
#include "core/machine.h"
#include "host/hex_loader.h"
#include "services/gate.h"

namespace velmora {

namespace {

// avr-gcc's ELF files put the data space at 0x800000.
constexpr uint32_t kElfDataBase = 0x800000;
// An ELF file larger than this is not read.
constexpr long kMaxElfBytes = 64L << 20;
// At least this many words of 0xFFFF in a row are listed as a gap.
constexpr uint32_t kGapWords = 4;

struct Symbol {
  uint32_t address;  // program byte address, or data address
  std::string name;
  int rank;  // of names at one address the lowest is kept: functions and objects before plain
             // labels, then global, local, weak
};

struct SymbolTables {
  std::vector<Symbol> code;  // sorted by address
  std::vector<Symbol> data;
};

uint32_t Little32(const uint8_t* p) {
  return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}
uint16_t Little16(const uint8_t* p) {
  return uint16_t(p[0] | p[1] << 8);
}

// The symbol table of a 32-bit little-endian ELF file: functions, objects and plain labels
// (local labels starting with '.' left out). Every offset is checked against the file's size.
bool ReadElfSymbols(const char* path, SymbolTables* tables) {
  FILE* file = fopen(path, "rb");
  if (file == nullptr) return false;
  long size = -1;
  if (fseek(file, 0, SEEK_END) == 0) size = ftell(file);
  std::unique_ptr<uint8_t[]> bytes;
  if (size > 52 && size <= kMaxElfBytes && fseek(file, 0, SEEK_SET) == 0) {
    bytes.reset(new (std::nothrow) uint8_t[size_t(size)]);
    if (bytes && fread(bytes.get(), 1, size_t(size), file) != size_t(size)) bytes.reset();
  }
  fclose(file);
  if (!bytes) return false;
  const uint8_t* elf = bytes.get();
  const uint64_t length = uint64_t(size);
  if (memcmp(elf,
             "\x7F"
             "ELF",
             4) != 0 ||
      elf[4] != 1 || elf[5] != 1)
    return false;
  const uint32_t section_offset = Little32(elf + 32);
  const uint16_t section_size = Little16(elf + 46);
  const uint16_t section_count = Little16(elf + 48);
  if (section_size < 40 ||
      uint64_t(section_offset) + uint64_t(section_size) * section_count > length) {
    return false;
  }
  const auto section = [&](uint32_t index) { return elf + section_offset + index * section_size; };
  for (uint32_t s = 0; s < section_count; ++s) {
    const uint8_t* header = section(s);
    if (Little32(header + 4) != 2) continue;  // SHT_SYMTAB
    const uint32_t table = Little32(header + 16);
    const uint32_t table_size = Little32(header + 20);
    const uint32_t strings_index = Little32(header + 24);
    const uint32_t entry_size = Little32(header + 36);
    if (strings_index >= section_count || entry_size < 16 ||
        uint64_t(table) + table_size > length) {
      return false;
    }
    const uint32_t strings = Little32(section(strings_index) + 16);
    const uint32_t strings_size = Little32(section(strings_index) + 20);
    if (uint64_t(strings) + strings_size > length) return false;
    for (uint32_t at = 0; at + entry_size <= table_size; at += entry_size) {
      const uint8_t* entry = elf + table + at;
      const uint32_t name = Little32(entry);
      const uint32_t value = Little32(entry + 4);
      const uint8_t type = entry[12] & 15;
      const uint8_t binding = entry[12] >> 4;
      const uint16_t section_of = Little16(entry + 14);
      // Functions, objects and untyped labels that belong to a section.
      if (type > 2 || section_of == 0 || section_of >= 0xFF00 || name >= strings_size) continue;
      const char* text = reinterpret_cast<const char*>(elf + strings + name);
      const size_t text_length = strnlen(text, strings_size - name);
      if (text_length == 0 || text_length == strings_size - name || text[0] == '.') continue;
      const int rank = (type == 0 ? 3 : 0) + (binding == 1 ? 0 : binding == 0 ? 1 : 2);
      Symbol symbol = {value, std::string(text, text_length), rank};
      if (value < kElfDataBase) {
        tables->code.push_back(std::move(symbol));
      } else if (value - kElfDataBase < kGuestDataSize) {
        symbol.address = value - kElfDataBase;
        tables->data.push_back(std::move(symbol));
      }
    }
  }
  // One name per address: the best ranked, then the first in the file.
  const auto order = [](const Symbol& a, const Symbol& b) {
    return a.address != b.address ? a.address < b.address : a.rank < b.rank;
  };
  const auto same_address = [](const Symbol& a, const Symbol& b) { return a.address == b.address; };
  for (std::vector<Symbol>* list : {&tables->code, &tables->data}) {
    std::stable_sort(list->begin(), list->end(), order);
    list->erase(std::unique(list->begin(), list->end(), same_address), list->end());
  }
  return true;
}

// The symbol at or before `address`, or nullptr.
const Symbol* SymbolBefore(const std::vector<Symbol>& symbols, uint32_t address) {
  auto after = std::upper_bound(symbols.begin(), symbols.end(), address,
                                [](uint32_t a, const Symbol& s) { return a < s.address; });
  if (after == symbols.begin()) return nullptr;
  return &*(after - 1);
}

std::string SymbolText(const std::vector<Symbol>& symbols, uint32_t address) {
  const Symbol* symbol = SymbolBefore(symbols, address);
  if (symbol == nullptr) return "";
  if (symbol->address == address) return " <" + symbol->name + ">";
  char offset[16];
  snprintf(offset, sizeof offset, "+0x%X>", address - symbol->address);
  return " <" + symbol->name + offset;
}

uint16_t WordAt(uint32_t word_address) {
  const uint8_t* at = &Machine.program[2 * word_address];
  return uint16_t(at[0] | at[1] << 8);
}

bool IsTwoWord(InstructionHandler h) {
  return h == ExecJMP || h == ExecCALL || h == ExecLDS || h == ExecSTS;
}

// Where a jump, call or branch at word `pc` goes (a word address), or -1 for other instructions
// and computed targets.
int64_t TargetOf(InstructionHandler h, const uint8_t* w, uint32_t pc) {
  if (h == ExecJMP || h == ExecCALL) {
    const uint32_t high = uint32_t(((w[1] & 1) << 5) | ((w[0] >> 3) & 0x1E) | (w[0] & 1));
    return int64_t(high) << 16 | SecondWord(w);
  }
  if (h == ExecRJMP || h == ExecRCALL) return int64_t(pc) + 1 + FieldK12(w);
  if (h == ExecBRBS || h == ExecBRBC) return int64_t(pc) + 1 + FieldK7(w);
  return -1;
}

bool IsControlTransfer(InstructionHandler h) {
  static const InstructionHandler kTransfers[] = {
      ExecJMP,  ExecRJMP, ExecIJMP, ExecEIJMP, ExecCALL, ExecRCALL, ExecICALL, ExecEICALL, ExecRET,
      ExecRETI, ExecBRBS, ExecBRBC, ExecCPSE,  ExecSBRC, ExecSBRS,  ExecSBIC,  ExecSBIS,
  };
  return std::find(std::begin(kTransfers), std::end(kTransfers), h) != std::end(kTransfers);
}

// What the listing knows of registers and of the group and function bytes while it walks
// straight-line code: -1 for unknown.
struct KnownValues {
  int16_t reg[32];
  int16_t group;
  int16_t function;
};

void ForgetAll(KnownValues* known) {
  for (int16_t& r : known->reg) r = -1;
  known->group = known->function = -1;
}

int CountLetter(const char* pattern, char letter) {
  int count = 0;
  for (const char* p = pattern; *p; ++p) count += *p == letter;
  return count;
}

// The register an "Rd" operand names, by the number of d bits in the pattern.
int DestinationRegister(const InstructionEncoding& e, const uint8_t* w) {
  switch (CountLetter(e.pattern, 'd')) {
    case 5:
      return FieldD5(w);
    case 4:
      return FieldD4(w);
    case 3:
      return FieldD3(w);
    default:
      return FieldPair(w);
  }
}

void Store(KnownValues* known, uint32_t address, int16_t value) {
  if (address == kGroupAddress) known->group = value;
  if (address == kFunctionAddress) known->function = value;
}

// Follows one instruction of straight-line code.
void Follow(const InstructionEncoding& e, const uint8_t* w, KnownValues* known) {
  const InstructionHandler h = e.handler;
  int16_t* reg = known->reg;
  if (h == ExecLDI) {
    reg[FieldD4(w)] = FieldK8(w);
  } else if (h == ExecMOV) {
    reg[FieldD5(w)] = reg[FieldR5(w)];
  } else if (h == ExecMOVW) {
    const int d = 2 * (w[0] >> 4);
    const int r = 2 * (w[0] & 15);
    reg[d] = reg[r];
    reg[d + 1] = reg[r + 1];
  } else if ((h == ExecEOR || h == ExecSUB) && FieldD5(w) == FieldR5(w)) {
    reg[FieldD5(w)] = 0;
  } else if (h == ExecOUT) {
    Store(known, uint32_t(FieldA6(w)) + 0x20, reg[FieldD5(w)]);
  } else if (h == ExecSTS) {
    Store(known, SecondWord(w), reg[FieldD5(w)]);
  } else if (h == ExecBREAK) {
    known->group = -1;  // the gate clears the group byte; the function byte stays
  } else if (std::string_view(e.mnemonic) == "ST" || h == ExecSTD || h == ExecXCH || h == ExecLAS ||
             h == ExecLAC || h == ExecLAT) {
    // A store through a pointer may reach the service bytes; pointer updates change X, Y, Z.
    known->group = known->function = -1;
    for (int r = 26; r < 32; ++r) reg[r] = -1;
    if (h == ExecXCH || h == ExecLAS || h == ExecLAC || h == ExecLAT) reg[FieldD5(w)] = -1;
  } else if (h == ExecMUL || h == ExecMULS || h == ExecMULSU || h == ExecFMUL || h == ExecFMULS ||
             h == ExecFMULSU || h == ExecLPM_R0 || h == ExecELPM_R0) {
    reg[0] = reg[1] = -1;
  } else if (h == ExecCP || h == ExecCPC || h == ExecCPI || h == ExecBST || h == ExecPUSH) {
    // Nothing written.
  } else if (std::string_view(e.operands).substr(0, 2) == "Rd" ||
             std::string_view(e.operands).substr(0, 2) == "Rp") {
    const int d = DestinationRegister(e, w);
    reg[d] = -1;
    const std::string_view operands = e.operands;
    if (operands.substr(0, 3) == "Rd2" || operands.substr(0, 2) == "Rp") reg[d + 1] = -1;
    // Loads with a pointer update change the pointer as well.
    if (operands.find('+') != std::string_view::npos ||
        operands.find('-') != std::string_view::npos) {
      for (int r = 26; r < 32; ++r) reg[r] = -1;
    }
  }
}

}  // namespace

void WriteListing(FILE* out, const char* elf_path) {
  SymbolTables symbols;
  if (elf_path == nullptr) {
    fprintf(out, "; %u bytes of program, no symbols\n", ProgramSize);
  } else if (ReadElfSymbols(elf_path, &symbols)) {
    fprintf(out, "; %u bytes of program, symbols from %s\n", ProgramSize, elf_path);
  } else {
    fprintf(out, "; %u bytes of program, no symbols (%s is no readable ELF file)\n", ProgramSize,
            elf_path);
  }
  const uint32_t words = (ProgramSize + 1) / 2;

  // Places that code jumps to: what is known there depends on the way in.
  std::vector<bool> targets(words, false);
  for (uint32_t pc = 0; pc < words; ++pc) {
    const InstructionHandler h = ResolveHandler(WordAt(pc));
    const int64_t target = TargetOf(h, &Machine.program[2 * pc], pc);
    if (target >= 0 && target < int64_t(words)) targets[size_t(target)] = true;
    if (IsTwoWord(h)) ++pc;
  }

  KnownValues known;
  ForgetAll(&known);
  size_t next_symbol = 0;
  for (uint32_t pc = 0; pc < words;) {
    uint32_t gap = 0;
    while (pc + gap < words && WordAt(pc + gap) == 0xFFFF) ++gap;
    if (gap >= kGapWords) {
      fprintf(out, "%06X  ...  %u bytes of 0xFF\n", 2 * pc, 2 * gap);
      pc += gap;
      ForgetAll(&known);
      continue;
    }
    const uint32_t address = 2 * pc;
    bool labelled = false;
    // Symbols inside a two-word instruction or a gap are passed over.
    while (next_symbol < symbols.code.size() && symbols.code[next_symbol].address < address) {
      ++next_symbol;
    }
    if (next_symbol < symbols.code.size() && symbols.code[next_symbol].address == address) {
      fprintf(out, "\n%06X <%s>:\n", address, symbols.code[next_symbol].name.c_str());
      labelled = true;
    }
    if (labelled || targets[pc]) ForgetAll(&known);

    const uint8_t* w = &Machine.program[address];
    const uint16_t word = WordAt(pc);
    const uint16_t next = uint16_t(w[2] | w[3] << 8);
    const InstructionEncoding* e = FindEncoding(word);
    const InstructionHandler h = e != nullptr ? e->handler : ResolveHandler(word);
    const bool two_words = IsTwoWord(h) && pc + 1 < words;
    char words_text[16];
    if (two_words) {
      snprintf(words_text, sizeof words_text, "%04X %04X", word, next);
    } else {
      snprintf(words_text, sizeof words_text, "%04X     ", word);
    }
    std::string note;
    const int64_t target = TargetOf(h, w, pc);
    if (target >= 0) {
      char text[32];
      snprintf(text, sizeof text, "; -> 0x%06X", uint32_t(2 * target));
      note = text + SymbolText(symbols.code, uint32_t(2 * target));
    } else if (h == ExecLDS || h == ExecSTS) {
      const std::string name = SymbolText(symbols.data, next);
      if (!name.empty()) note = ";" + name;
    } else if (h == ExecBREAK) {
      char text[64];
      if (known.group >= 0 && known.function >= 0) {
        const char* name = ServiceName(uint8_t(known.group), uint8_t(known.function));
        snprintf(text, sizeof text, "; service %d.%d  %s", known.group, known.function,
                 name ? name : "-");
      } else if (known.group >= 0) {
        snprintf(text, sizeof text, "; service %d.?", known.group);
      } else {
        snprintf(text, sizeof text, "; service call");
      }
      note = text;
    }
    const std::string text = DisassembleInstruction(word, next);
    if (note.empty()) {
      fprintf(out, "%06X  %s  %s\n", address, words_text, text.c_str());
    } else {
      fprintf(out, "%06X  %s  %-24s%s\n", address, words_text, text.c_str(), note.c_str());
    }
    if (e != nullptr) Follow(*e, w, &known);
    if (IsControlTransfer(h)) ForgetAll(&known);
    pc += two_words ? 2 : 1;
  }
}

}  // namespace velmora
