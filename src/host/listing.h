// The program listing of velmora-run --disassemble: every instruction of the loaded program with
// its byte address, words and the processor's own mnemonic, the symbols of an ELF file when one
// is at hand, and the service each BREAK calls when the stores before it set constant group and
// function bytes.
#pragma once

#include <cstdio>

namespace velmora {

// Lists program memory up to ProgramSize (the loaded program) on `out`; service names come from
// the service tables, so these are installed first. `elf_path` names the
// program's ELF file for symbols, nullptr for none; a file that cannot be read as a 32-bit
// little-endian ELF file gives a listing without symbols, and its first line says so.
void WriteListing(FILE* out, const char* elf_path);

}  // namespace velmora
