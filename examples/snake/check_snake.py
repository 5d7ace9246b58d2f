"""Plays Snake headless with scripted keys and a click, and checks where the snake went."""
import os
import sys
import tempfile

sys.path.insert(0, os.path.join(os.path.dirname(__file__), "..", "..", "tests", "guest"))
import velmora_test as vt  # noqa: E402

runner, hex_path = vt.setup(sys.argv)
PLAYING, PAUSED, OVER = 0, 1, 2


def play(seed, *args):
    with tempfile.TemporaryDirectory() as tmp:
        log_path = os.path.join(tmp, "host.log")
        shot = os.path.join(tmp, "snake.png")
        r = vt.run_guest(hex_path, ["--quiet", "--seed", seed, "--dump-memory", "0x1F0:8",
                                    "--host-log", log_path, "--screenshot", shot] + list(args))
        with open(log_path, encoding="utf-8") as f:
            r.log = [line.rstrip("\n").split(" ", 1)[1] for line in f]
        r.picture = vt.read_picture(shot)
    vt.expect_equal("exit status", r.exit_code, vt.EXIT_QUIT, r)
    r.head = (r.byte(0x1F0), r.byte(0x1F1))
    r.length, r.score, r.game = r.byte(0x1F2), r.word(0x1F3), r.byte(0x1F5)
    return r


# Seed 162 puts the first apple straight ahead: the snake eats it, grows and beeps.
r = play(162, "--close", "2000")
vt.expect_equal("apple eaten", (r.score, r.length, r.game), (10, 4, PLAYING), r)
vt.expect("beep 880 30" in r.log, "a beep for the apple", r)
vt.expect('title "Snake - score 10"' in r.log, "the score in the title", r)
x, y = r.head
_, _, rows = r.picture
vt.expect_equal("head drawn", rows[20 + y * 10 + 5][x * 10 + 5], (60, 200, 90), r)

# Up at 500 ms, left at 1000 ms: the head ends above and to the left of where it turned.
straight = play(3, "--close", "500").head
r = play(3, "--key", "up@500", "--key", "left@1000", "--close", "1600")
vt.expect(r.head[1] < straight[1] and r.head[0] < straight[0] + 1 and r.game == PLAYING,
          "turned up, then left: %s from %s" % (r.head, straight), r)

# Shift held races: further in the same time.
slow = play(3, "--close", "600").head[0]
fast = play(3, "--key-down", "shift@0", "--close", "600").head[0]
vt.expect(fast > slow + 2, "Shift races: %d cells against %d" % (fast - 10, slow - 10))

# Space pauses (on its release): the snake stands still.
paused = play(3, "--key", "space@300", "--close", "600")
later = play(3, "--key", "space@300", "--close", "900")
vt.expect_equal("paused", (paused.game, later.head), (PAUSED, paused.head), later)

# Esc gives up; a click starts a new game.
vt.expect_equal("Esc", play(3, "--key", "esc@300", "--close", "600").game, OVER)
r = play(3, "--key", "esc@300", "--click", "50,50@500", "--close", "700")
vt.expect_equal("new game", (r.game, r.length), (PLAYING, 3), r)
vt.finish()
