// Scripted input for the headless backend: the lines of --script files and of the runner's input
// options, key names, typing text on a US keyboard, and the fixed wall clock's start date.
#include <charconv>
#include <cstdio>
#include <vector>

#include "platform/civil_date.h"
#include "platform/headless/headless.h"

namespace velmora {

namespace {

constexpr uint8_t kShiftKey = 0xA0;  // left Shift

// Everything one or more script lines ask for, applied together once all have been read.
struct ScriptEffects {
  std::vector<ScriptedInput> inputs;
  std::vector<MessageAnswer> answers;
  std::vector<uint8_t> held, toggled;
};

bool IsBlank(char c) {
  return c == ' ' || c == '\t';
}

std::string_view Trimmed(std::string_view text) {
  while (!text.empty() && IsBlank(text.front())) text.remove_prefix(1);
  while (!text.empty() && IsBlank(text.back())) text.remove_suffix(1);
  return text;
}

bool ParseInt(std::string_view text, int64_t low, int64_t high, int64_t* value) {
  text = Trimmed(text);
  if (text.empty()) return false;
  const char* end = text.data() + text.size();
  auto [stop, error] = std::from_chars(text.data(), end, *value);
  return error == std::errc() && stop == end && *value >= low && *value <= high;
}

char Lower(char c) {
  return c >= 'A' && c <= 'Z' ? char(c - 'A' + 'a') : c;
}

bool SameName(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    if (Lower(a[i]) != Lower(b[i])) return false;
  }
  return true;
}

// Splits "REST@MS" into REST and MS; without '@' the time is 0. False for a bad time.
bool SplitTime(std::string_view text, std::string_view* rest, uint32_t* at) {
  *at = 0;
  *rest = text;
  const size_t sign = text.rfind('@');
  if (sign == std::string_view::npos) return true;
  int64_t time;
  if (!ParseInt(text.substr(sign + 1), 0, UINT32_MAX, &time)) return false;
  *at = uint32_t(time);
  *rest = text.substr(0, sign);
  return true;
}

// The leading letters of a line, and what follows them.
std::string_view Verb(std::string_view line, std::string_view* rest) {
  line = Trimmed(line);
  size_t end = 0;
  while (end < line.size() && Lower(line[end]) >= 'a' && Lower(line[end]) <= 'z') ++end;
  *rest = line.substr(end);
  return line.substr(0, end);
}

// The key a character is typed with on a US keyboard, and whether Shift is needed.
bool KeyForCharacter(char c, uint8_t* key, bool* shift) {
  static constexpr char kPunctuation[] = ";=,-./`[\\]'";
  static constexpr char kShiftedPunctuation[] = ":+<_>?~{|}\"";
  static constexpr uint8_t kPunctuationKeys[] = {0xBA, 0xBB, 0xBC, 0xBD, 0xBE, 0xBF,
                                                 0xC0, 0xDB, 0xDC, 0xDD, 0xDE};
  static constexpr char kShiftedDigits[] = ")!@#$%^&*(";
  *shift = false;
  if (c >= 'a' && c <= 'z') {
    *key = uint8_t(c - 'a' + 0x41);
    return true;
  }
  if (c >= 'A' && c <= 'Z') {
    *key = uint8_t(c - 'A' + 0x41);
    *shift = true;
    return true;
  }
  if (c >= '0' && c <= '9') {
    *key = uint8_t(c - '0' + 0x30);
    return true;
  }
  if (c == ' ') {
    *key = 0x20;
    return true;
  }
  for (int i = 0; i < 10; ++i) {
    if (c == kShiftedDigits[i]) {
      *key = uint8_t(0x30 + i);
      *shift = true;
      return true;
    }
  }
  for (size_t i = 0; i < sizeof kPunctuationKeys; ++i) {
    if (c == kPunctuation[i] || c == kShiftedPunctuation[i]) {
      *key = kPunctuationKeys[i];
      *shift = c == kShiftedPunctuation[i];
      return true;
    }
  }
  return false;
}

bool ParseAnswer(std::string_view word, MessageAnswer* answer) {
  static constexpr std::pair<std::string_view, MessageAnswer> kAnswers[] = {
      {"ok", MessageAnswer::kOk}, {"cancel", MessageAnswer::kCancel}, {"yes", MessageAnswer::kYes},
      {"no", MessageAnswer::kNo}, {"none", MessageAnswer::kNone},
  };
  for (const auto& [name, value] : kAnswers) {
    if (SameName(Trimmed(word), name)) {
      *answer = value;
      return true;
    }
  }
  return false;
}

bool ParseScriptLine(std::string_view line, ScriptEffects* effects) {
  std::string_view rest;
  const std::string_view verb = Verb(line, &rest);
  if (SameName(verb, "key")) {
    std::string_view name;
    uint32_t at;
    uint8_t key;
    if (!SplitTime(rest, &name, &at) || !ParseKeyName(name, &key)) return false;
    if (at > UINT32_MAX - kKeyHoldMilliseconds) return false;
    effects->inputs.push_back({ScriptedAction::kKeyDown, key, 0, at});
    effects->inputs.push_back({ScriptedAction::kKeyUp, key, 0, at + kKeyHoldMilliseconds});
    return true;
  }
  if (SameName(verb, "type")) {
    std::string_view text;
    uint32_t at;
    if (!SplitTime(rest, &text, &at)) return false;
    text = Trimmed(text);
    if (text.empty() || uint64_t(at) + 2 * kKeyHoldMilliseconds * text.size() > UINT32_MAX) {
      return false;
    }
    for (const char c : text) {
      uint8_t key;
      bool shift;
      if (!KeyForCharacter(c, &key, &shift)) return false;
      const uint32_t up = at + kKeyHoldMilliseconds;
      if (shift) effects->inputs.push_back({ScriptedAction::kKeyDown, kShiftKey, 0, at});
      effects->inputs.push_back({ScriptedAction::kKeyDown, key, 0, at});
      effects->inputs.push_back({ScriptedAction::kKeyUp, key, 0, up});
      if (shift) effects->inputs.push_back({ScriptedAction::kKeyUp, kShiftKey, 0, up});
      at += 2 * kKeyHoldMilliseconds;
    }
    return true;
  }
  if (SameName(verb, "answer")) {
    MessageAnswer answer;
    if (!ParseAnswer(rest, &answer)) return false;
    effects->answers.push_back(answer);
    return true;
  }
  if (SameName(verb, "held") || SameName(verb, "toggled")) {
    uint8_t key;
    if (!ParseKeyName(rest, &key)) return false;
    (SameName(verb, "held") ? effects->held : effects->toggled).push_back(key);
    return true;
  }
  ScriptedInput input;
  if (!ParseScriptedInput(line, &input)) return false;
  effects->inputs.push_back(input);
  return true;
}

void Apply(const ScriptEffects& effects) {
  for (const ScriptedInput& input : effects.inputs) HeadlessSchedule(input);
  for (const MessageAnswer answer : effects.answers) HeadlessQueueAnswer(answer);
  for (const uint8_t key : effects.held) HeadlessHoldKey(key);
  for (const uint8_t key : effects.toggled) HeadlessToggleKey(key);
}

}  // namespace

bool ParseKeyName(std::string_view text, uint8_t* key) {
  static constexpr std::pair<std::string_view, uint8_t> kNames[] = {
      {"backspace", 0x08}, {"tab", 0x09},        {"enter", 0x0D},  {"shift", 0x10},
      {"ctrl", 0x11},      {"alt", 0x12},        {"pause", 0x13},  {"capslock", 0x14},
      {"esc", 0x1B},       {"space", 0x20},      {"pageup", 0x21}, {"pagedown", 0x22},
      {"end", 0x23},       {"home", 0x24},       {"left", 0x25},   {"up", 0x26},
      {"right", 0x27},     {"down", 0x28},       {"insert", 0x2D}, {"delete", 0x2E},
      {"numlock", 0x90},   {"scrolllock", 0x91}, {"lshift", 0xA0}, {"rshift", 0xA1},
      {"lctrl", 0xA2},     {"rctrl", 0xA3},      {"lalt", 0xA4},   {"ralt", 0xA5},
  };
  text = Trimmed(text);
  if (text.empty()) return false;
  if (text[0] >= '0' && text[0] <= '9') {
    int64_t value = 0;
    if (text.size() > 2 && text[0] == '0' && Lower(text[1]) == 'x') {
      const char* end = text.data() + text.size();
      auto [stop, error] = std::from_chars(text.data() + 2, end, value, 16);
      if (error != std::errc() || stop != end || value > 255) return false;
    } else if (!ParseInt(text, 0, 255, &value)) {
      return false;
    }
    *key = uint8_t(value);
    return true;
  }
  if (text.size() == 1 && Lower(text[0]) >= 'a' && Lower(text[0]) <= 'z') {
    *key = uint8_t(Lower(text[0]) - 'a' + 0x41);
    return true;
  }
  for (const auto& [name, value] : kNames) {
    if (SameName(text, name)) {
      *key = value;
      return true;
    }
  }
  if (text.size() >= 2 && Lower(text[0]) == 'f') {
    int64_t number;
    if (ParseInt(text.substr(1), 1, 24, &number)) {
      *key = uint8_t(0x70 + number - 1);
      return true;
    }
  }
  return false;
}

bool ParseScriptedInput(std::string_view line, ScriptedInput* input) {
  enum class Argument { kPosition, kKey, kNone };
  struct VerbEntry {
    std::string_view name;
    ScriptedAction action;
    Argument argument;
  };
  static constexpr VerbEntry kVerbs[] = {
      {"click", ScriptedAction::kClick, Argument::kPosition},
      {"down", ScriptedAction::kMouseDown, Argument::kPosition},
      {"up", ScriptedAction::kMouseUp, Argument::kPosition},
      {"move", ScriptedAction::kMouseMove, Argument::kPosition},
      {"double", ScriptedAction::kDoubleClick, Argument::kPosition},
      {"close", ScriptedAction::kClose, Argument::kNone},
      {"keydown", ScriptedAction::kKeyDown, Argument::kKey},
      {"keyup", ScriptedAction::kKeyUp, Argument::kKey},
      {"activate", ScriptedAction::kActivate, Argument::kNone},
      {"deactivate", ScriptedAction::kDeactivate, Argument::kNone},
  };
  std::string_view rest;
  const std::string_view verb = Verb(line, &rest);
  const VerbEntry* entry = nullptr;
  for (const VerbEntry& candidate : kVerbs) {
    if (verb == candidate.name) entry = &candidate;
  }
  if (entry == nullptr) return false;
  if (!rest.empty() && !IsBlank(rest.front()) && rest.front() != '@') return false;

  ScriptedInput parsed = {entry->action, 0, 0, 0};
  std::string_view argument;
  if (!SplitTime(rest, &argument, &parsed.at)) return false;
  switch (entry->argument) {
    case Argument::kNone:
      if (!Trimmed(argument).empty()) return false;
      break;
    case Argument::kKey: {
      uint8_t key;
      if (!ParseKeyName(argument, &key)) return false;
      parsed.x = key;
      break;
    }
    case Argument::kPosition: {
      const size_t comma = argument.find(',');
      int64_t x, y;
      if (comma == std::string_view::npos ||
          !ParseInt(argument.substr(0, comma), -32768, 32767, &x) ||
          !ParseInt(argument.substr(comma + 1), -32768, 32767, &y)) {
        return false;
      }
      parsed.x = int16_t(x);
      parsed.y = int16_t(y);
      break;
    }
  }
  *input = parsed;
  return true;
}

bool HeadlessScriptLine(std::string_view line) {
  ScriptEffects effects;
  if (!ParseScriptLine(line, &effects)) return false;
  Apply(effects);
  return true;
}

bool HeadlessLoadScript(const char* path, std::string* error) {
  FILE* file = std::fopen(path, "r");
  if (file == nullptr) {
    *error = std::string("cannot open input script ") + path;
    return false;
  }
  ScriptEffects effects;
  std::string line;
  int line_number = 0;
  bool ok = true;
  for (int c = 0; ok && c != EOF;) {
    line.clear();
    while ((c = std::fgetc(file)) != EOF && c != '\n') line += char(c);
    ++line_number;
    while (!line.empty() && (line.back() == '\r' || line.back() == ' ' || line.back() == '\t')) {
      line.pop_back();
    }
    const size_t first = line.find_first_not_of(" \t");
    if (first == std::string::npos || line[first] == '#') continue;
    if (!ParseScriptLine(std::string_view(line).substr(first), &effects)) {
      *error = std::string(path) + ":" + std::to_string(line_number) + ": cannot read \"" +
               line.substr(first) + "\"";
      ok = false;
    }
  }
  // A directory opens, but reading it fails: that is no empty script.
  if (ok && std::ferror(file)) {
    *error = std::string("cannot read input script ") + path;
    ok = false;
  }
  std::fclose(file);
  if (!ok) return false;
  Apply(effects);
  return true;
}

bool ParseDateTime(std::string_view text, PlatformDateTime* time) {
  // Fields: digits, the separator that must follow, and the allowed range.
  struct Field {
    int digits;
    const char* separators;
    int64_t low, high;
  };
  static constexpr Field kFields[] = {
      {4, "-", 1970, 9999}, {2, "-", 1, 12}, {2, "T ", 1, 31}, {2, ":", 0, 23},
      {2, ":", 0, 59},      {2, ".", 0, 59}, {3, "", 0, 999},
  };
  int64_t value[7] = {0, 0, 0, 0, 0, 0, 0};
  size_t at = 0;
  for (int i = 0; i < 7; ++i) {
    const Field& field = kFields[i];
    if (text.size() - at < size_t(field.digits)) return false;
    const std::string_view digits = text.substr(at, field.digits);
    if (digits.find_first_not_of("0123456789") != std::string_view::npos ||
        !ParseInt(digits, field.low, field.high, &value[i])) {
      return false;
    }
    at += field.digits;
    if (at == text.size()) {
      if (i < 5) return false;
      break;  // milliseconds may be left out
    }
    if (field.separators[0] == 0 ||
        std::string_view(field.separators).find(text[at]) == std::string_view::npos) {
      return false;
    }
    ++at;
  }
  // The day must exist in its month.
  int64_t year, month, day;
  CivilFromDays(DaysFromCivil(value[0], value[1], value[2]), &year, &month, &day);
  if (day != value[2]) return false;
  *time = {uint16_t(value[0]), uint8_t(value[1]), uint8_t(value[2]), 0,
           uint8_t(value[3]),  uint8_t(value[4]), uint8_t(value[5]), uint16_t(value[6])};
  time->weekday = uint8_t((DaysFromCivil(value[0], value[1], value[2]) + 4) % 7);
  return true;
}

}  // namespace velmora
