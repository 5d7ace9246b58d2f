#!/usr/bin/env python3
"""Breaks the machine on purpose, one fault at a time, and names the tests that notice.

Each fault replaces one piece of source text (it must occur exactly once), rebuilds, runs ctest
and restores the file. A fault no test catches is a hole in the suite. Usage, from the source
root: tools/inject_faults.py [-B build] [fault-name ...]
"""
import argparse
import pathlib
import re
import subprocess

# name, file, text, broken text
FAULTS = [
    ("adc-carry-in", "src/core/arith.cpp",
     "r = (rd + rr + Flags()[kFlagC]) & 0xFF;\n  R[d] = uint8_t(r);\n  SetFlagsAdd",
     "r = (rd + rr) & 0xFF;\n  R[d] = uint8_t(r);\n  SetFlagsAdd"),
    ("sbc-z-rule", "src/core/arith.cpp",
     "r = (rd - rr - Flags()[kFlagC]) & 0xFF;\n  R[d] = uint8_t(r);\n  SetFlagsSubKeepZ",
     "r = (rd - rr - Flags()[kFlagC]) & 0xFF;\n  R[d] = uint8_t(r);\n  SetFlagsSub"),
    ("ld-post-increment", "src/core/transfer.cpp",
     "if (change > 0) SetPointer(pointer, uint16_t(address + 1));",
     "if (change > 0) SetPointer(pointer, uint16_t(address));"),
    ("elpm-rampz", "src/core/transfer.cpp",
     "const uint32_t a = (uint32_t(R[kRampzAddress]) << 16) | Pointer(kZ);",
     "const uint32_t a = Pointer(kZ);"),
    ("call-return-high-byte", "src/core/control.cpp",
     "PushReturnAddress(Machine.pc + 2);", "PushReturnAddress((Machine.pc + 2) & 0xFFFF);"),
    ("fast-adc-carry-in", "src/core/fast_engine.cpp",
     "#define DO_ADC_A ADD_BODY_A(R[e->b], (sreg & kC))", "#define DO_ADC_A ADD_BODY_A(R[e->b], 0)"),
    ("sized-rect-argument", "src/graphics/draw_services.cpp",
     "Arg(2) + Arg(6)}", "Arg(2) + Arg(4)}"),
    ("rect-right-edge", "src/graphics/raster.cpp", "          r - 1,\n", "          r,\n"),
    ("clipped-line-start", "src/graphics/raster.cpp",
     "const int64_t numerator = 2 * first * adn", "const int64_t numerator = 2 * 0 * adn"),
    ("hex-checksum", "src/host/hex_loader.cpp",
     "if (sum != 0) return kHexBadChecksum;", "if (false) return kHexBadChecksum;"),
    ("hex-extended-address", "src/host/hex_loader.cpp", "value << 4 : value << 16;",
     "value << 4 : value << 8;"),
    ("bmp-bottom-up", "src/graphics/bmp.cpp", "header.top_down ? int64_t(y)", "true ? int64_t(y)"),
    ("bmp-row-padding", "src/graphics/bmp.cpp", "return (uint64_t(width) * 3 + 3) & ~uint64_t(3);",
     "return uint64_t(width) * 3;"),
    ("string-insert-bounds", "src/text/string_services.cpp", "length + 2 > s.room",
     "length + 1 > s.room"),
    ("file-open-status", "src/io/file_services.cpp",
     "SetStatus(opened ? kStatusOk : kStatusNotOpen);", "SetStatus(kStatusOk);"),
    ("event-queue-order", "src/host/events.cpp",
     "const EventRecord& record = EventRing.slot[EventRing.read_index];",
     "const EventRecord& record = EventRing.slot[EventRing.write_index];"),
    ("gdb-register-pc", "src/host/gdb_stub.cpp", "  *bytes = 4;\n  return Machine.pc * 2;",
     "  *bytes = 4;\n  return Machine.pc;"),
    ("dump-state-sreg", "src/host/velmora_run_main.cpp",
     'printf("sreg 0x%02X\\n", ComposeSreg());', 'printf("sreg 0x%02X\\n", Machine.data[0x5F]);'),
    ("window-centre", "src/host/window_services.cpp",
     "screen_width / 2 - (outer.right - outer.left) / 2",
     "screen_width / 2 - (outer.right - outer.left)"),
    ("message-box-missing-button", "src/platform/headless/headless.cpp",
     "if ((set.offered & bit(answer)) == 0) answer = MessageAnswer::kNone;", ""),
    ("layer-load-screen-size", "src/graphics/canvas.cpp",
     "    ScreenSize = {width, height};\n    ResetClip();", "    ResetClip();"),
    ("reti-sets-i", "src/core/control.cpp",
     "  Flags()[kFlagI] = 1;\n  Machine.pc = PopReturnAddress();", "  Machine.pc = PopReturnAddress();"),
    ("lpm-address", "src/core/transfer.cpp",
     "R[FieldD5(w)] = Machine.program[Pointer(kZ)];\n  Next();",
     "R[FieldD5(w)] = Machine.program[Pointer(kZ) ^ 1];\n  Next();"),
    ("toggle-pixel", "src/graphics/draw_services.cpp",
     "GetPixel(x, y) == BackgroundColour ? PenColour : BackgroundColour", "PenColour"),
    ("option-inline-value", "src/host/velmora_run_main.cpp",
     "      if (has_inline_value) {\n        value = inline_value;",
     "      if (false) {\n        value = inline_value;"),
    ("timeout-exit-status", "src/host/velmora_run_main.cpp", "status = kExitTimeout;",
     "status = kExitLimit;"),
    ("close-all-files", "src/io/slots.cpp",
     "    FileClose(slot.handle);\n    slot.open = 0;\n  }\n}\n\nvoid CloseAllSerialSlots",
     "    slot.open = 0;\n  }\n}\n\nvoid CloseAllSerialSlots"),
]


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("-B", "--build", default="build")
    parser.add_argument("names", nargs="*")
    options = parser.parse_args()
    for name, path, text, broken in FAULTS:
        if options.names and name not in options.names:
            continue
        source = pathlib.Path(path)
        original = source.read_text()
        assert original.count(text) == 1, f"{name}: text not found once in {path}"
        try:
            source.write_text(original.replace(text, broken))
            built = subprocess.run(["cmake", "--build", options.build, "-j2"],
                                   capture_output=True, text=True)
            if built.returncode != 0:
                print(f"| {name} | {path} | build failed |", flush=True)
                continue
            run = subprocess.run(["ctest", "-j2", "--timeout", "120"], cwd=options.build,
                                 capture_output=True, text=True)
            failed = re.findall(r"^\s*\d+ - (\S+) \(", run.stdout, re.M)
            print(f"| {name} | {path} | {', '.join(failed) or 'NOT CAUGHT'} |", flush=True)
        finally:
            source.write_text(original)
    subprocess.run(["cmake", "--build", options.build, "-j2"], capture_output=True)


if __name__ == "__main__":
    main()
