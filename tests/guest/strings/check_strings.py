"""Runs strings_guest.hex and compares its transcript, one "name|text|result" line per call."""
import sys

import velmora_test as vt

TRANSCRIPT = 0x8000
TRANSCRIPT_SIZE = 4096

EXPECTED = [
    ("length", "hello", "5"),
    ("length_empty", "", "0"),
    ("copy", "abc", "3"),
    ("append", "abcd", "4"),
    ("append_self", "abcabc", "6"),
    ("copy_overlap", "ababcdef", "6"),
    ("find_char", "hello", "2"),
    ("find_char_zero", "hello", "65535"),
    ("find", "hello", "2"),
    ("find_empty", "hello", "0"),
    ("find_longer", "hello", "65535"),
    ("replace", "bonono", "3"),
    ("delete", "abfg", "4"),
    ("delete_past_end", "abcde", "5"),
    ("insert", "axbc", "4"),
    ("insert_at_end", "abcd", "4"),
    ("insert_beyond", "abc", "3"),
    ("remove", "bnn", "3"),
    ("reverse", "dcba", "0"),
    ("u16", "n=0042", "6"),
    ("u32", "4294967295", "10"),
    ("u32_narrow", "#4", "2"),
    ("u64", "#446744073709551615", "19"),
    ("s32", "x-1", "3"),
    ("s32_min", "-2147483648", "11"),
    ("s64_min", "-9223372036854775808", "20"),
    ("s16", "-005", "4"),
    ("s16_min", "-32768", "6"),
    ("float", "1.23E6", "6"),
    ("float_one", "1", "1"),
    ("float_small", "-1.25E-3", "8"),
    ("float_inf", "Err", "3"),
    ("float_nan", "Err", "3"),
    ("double", "1.5E5", "5"),
    ("double_long", "-1.23456789012E-2", "17"),
    ("keep_after_last", "c", "0"),
    ("keep_after_first", "b.c", "0"),
    ("keep_before_last", "a.b", "0"),
    ("cut_at_first", "a", "0"),
    ("keep_between", "value", "0"),
    ("remove_span", "abcghi", "0"),
    ("file_name_of_dir", "", "0"),
    ("stem", "demo.tar", "0"),
    ("extension", "gz", "0"),
    ("directory", "C:\\work", "0"),
    ("directory_none", "name.txt", "0"),
    ("lower", "mixed case 42", "0"),
    ("upper", "MIXED CASE 42", "0"),
    ("hex8", "x=3C", "4"),
    ("hex16", "00FF", "4"),
    ("hex32", "DEADBEEF", "8"),
    ("hex64", "0123456789ABCDEF", "16"),
    ("parse32", "  -123xyz", "-123"),
    ("parse32_limit", "99999999999", "2147483647"),
    ("parse64", "", "0 c"),
    ("parse64_negative", "", "ffffffff ffffffff"),
    ("parse_float", "", "0 40500000"),
    ("top_length", "", "16"),
    ("top_append", "", "16"),
    ("top_hex", "", "16"),
    ("top_insert", "", "16"),
    ("top_find", "", "13"),
    ("top_copy_from", "ABCDEFGHIJKLMNOP", "16"),
    ("top_copy_to", "ABCDEFGHIJKLMNOP", "5"),
    ("group", "", "0"),
    ("status", "", "90"),
]


def main():
    _, hex_path = vt.setup(sys.argv)
    r = vt.run_guest(hex_path, ["--max-instructions", "2000000",
                                "--dump-memory", "0x%X:%d" % (TRANSCRIPT, TRANSCRIPT_SIZE),
                                "--dump-memory", "0xFFF0:16"])
    vt.expect_equal("exit", r.exit_code, vt.EXIT_FAULT, r)
    vt.expect_equal("fault", r.state.get("fault"), vt.FAULT_UNDEFINED, r)
    lines = r.cstring(TRANSCRIPT, TRANSCRIPT_SIZE).decode("latin-1").split("\n")
    vt.expect(lines[-2:] == ["end", ""], "transcript is incomplete: %r" % lines[-3:], r)
    got = [tuple(line.split("|", 2)) for line in lines[:-2]]
    for i, want in enumerate(EXPECTED):
        vt.expect_equal("line %d" % i, got[i] if i < len(got) else None, want)
    vt.expect_equal("line count", len(got), len(EXPECTED))
    # The copy to 0xFFFA was cut so that its terminator landed on 0xFFFF.
    vt.expect_equal("top bytes", r.memory(0xFFF0, 16), b"ABCDEFGHIJhello\0")
    vt.finish()


if __name__ == "__main__":
    main()
