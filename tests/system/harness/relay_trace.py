"""Reads Wine's relay trace (WINEDEBUG=+relay,+loaddll) and keeps the calls that one program makes
itself: those on the thread that loaded the program's image that return into that image. Other
Wine processes (wineboot, services) load at the same base and write to the same trace, and the
system DLLs call each other through the same relayed entry points; both are left out.

A call is (function, args, result). Arguments are ints, or (int, text) where the trace shows the
string a pointer points to; text holds the bytes as latin-1 characters, so that code-page bytes
such as 0x95 0x5C survive. Strings the trace cut short (it shows at most 80 characters) end in
TRUNCATED."""

import re

TRUNCATED = "\u2026"


class TraceError(Exception):
    pass


class Call:
    def __init__(self, dll, function, args, ret_address):
        self.dll = dll
        self.function = function
        self.args = args
        self.ret_address = ret_address
        self.result = None  # None while the call has not returned (ExitProcess, a killed process)

    def __repr__(self):
        return "%s(%s) = %s" % (self.function, ", ".join(format_arg(a) for a in self.args),
                                "?" if self.result is None else "0x%x" % self.result)


def format_arg(arg):
    if isinstance(arg, tuple):
        return '"%s"' % arg[1].encode("latin-1", "backslashreplace").decode("ascii", "backslashreplace") \
            .replace("\\\\", "\\")
    return "0x%x" % arg


_LOADED = re.compile(r'^([0-9a-f]{4}):trace:loaddll:build_module Loaded L"(.*)" at ([0-9a-fA-F]+): native')
_CALL = re.compile(r"^([0-9a-f]{4}):Call ([\w.]+)\.(\w+)\((.*)\) ret=([0-9a-f]+)$")
_RET = re.compile(r"^([0-9a-f]{4}):Ret  ([\w.]+)\.(\w+)\(\) retval=([0-9a-f]+) ret=([0-9a-f]+)$")


def _parse_string(text, at):
    """A C-escaped string from text[at] (just past the opening quote): (latin-1 str, next index)."""
    out = []
    while at < len(text):
        c = text[at]
        if c == '"':
            return "".join(out), at + 1
        if c == "\\" and at + 1 < len(text):
            e = text[at + 1]
            if e == "x":
                out.append(chr(int(text[at + 2:at + 4], 16)))
                at += 4
                continue
            out.append({"n": "\n", "r": "\r", "t": "\t", "0": "\0"}.get(e, e))
            at += 2
            continue
        out.append(c)
        at += 1
    raise TraceError("unterminated string in %r" % text)


def parse_args(text):
    args = []
    at = 0
    while at < len(text):
        match = re.match(r"[0-9a-fA-F]+", text[at:])
        if not match:
            raise TraceError("argument expected at %r" % text[at:])
        value = int(match.group(0), 16)
        at += match.end()
        if text.startswith(' "', at) or text.startswith(' L"', at):
            at += 2 if text[at + 1] == '"' else 3
            string, at = _parse_string(text, at)
            if text.startswith("...", at):
                string += TRUNCATED
                at += 3
            args.append((value, string))
        else:
            args.append(value)
        if at < len(text):
            if text[at] != ",":
                raise TraceError("',' expected at %r" % text[at:])
            at += 1
    return args


def _program_image(trace_text):
    """(thread, image base) of the program: the one native image in the trace, every other module
    being one of Wine's builtin ones."""
    for line in trace_text.split("\n"):
        loaded = _LOADED.match(line)
        if loaded and loaded.group(2).lower().endswith(".exe"):
            return loaded.group(1), int(loaded.group(3), 16)
    raise TraceError("the trace shows no native program being loaded")


def program_thread(trace_text):
    return _program_image(trace_text)[0]


def program_calls(trace_text, image_size, own_image_only=True):
    """The calls the program made on its own thread and from its own image, in the order made,
    each with its result; with own_image_only False, every relayed call on that thread (calls that
    its callbacks pass on by a tail jump return into the system DLL that called the callback)."""
    thread, base = _program_image(trace_text)
    calls = []
    open_calls = []
    for line in trace_text.split("\n"):
        if not line.startswith(thread + ":"):
            continue
        call = _CALL.match(line)
        if call:
            ret = int(call.group(5), 16)
            entry = Call(call.group(2).lower(), call.group(3), parse_args(call.group(4)), ret)
            open_calls.append(entry)
            if not own_image_only or base <= ret < base + image_size:
                calls.append(entry)
            continue
        ret = _RET.match(line)
        if ret:
            for i in range(len(open_calls) - 1, -1, -1):
                if open_calls[i].function == ret.group(3) and open_calls[i].ret_address == int(ret.group(5), 16):
                    open_calls[i].result = int(ret.group(4), 16)
                    del open_calls[i:]
                    break
    return calls


# --- expectations ---------------------------------------------------------------------------

class _Any:
    def __repr__(self):
        return "*"


ANY = _Any()


class Sym:
    """A value that is not known in advance (a handle, a pointer) but must be the same wherever the
    same symbol stands: bound at its first use."""

    def __init__(self, name):
        self.name = name

    def __repr__(self):
        return "$" + self.name


def expect(function, *args, ret=ANY):
    return (function, args, ret)


def _to32(value):
    # Arguments of 32-bit types travel in 64-bit registers whose upper half the trace shows too.
    return value & 0xFFFFFFFF


def _match_value(expected, actual, bindings, is_result=False):
    if expected is ANY:
        return True
    number = actual[0] if isinstance(actual, tuple) else actual
    if isinstance(expected, Sym):
        bound = bindings.setdefault(expected.name, number)
        return bound == number
    if isinstance(expected, str):
        if not isinstance(actual, tuple):
            return False
        shown = actual[1]
        if shown.endswith(TRUNCATED):
            return expected.startswith(shown[:-1]) and len(expected) > len(shown) - 1
        return shown == expected
    if isinstance(actual, tuple):
        return False
    if is_result:
        return actual == expected or _to32(actual) == _to32(expected)
    return _to32(actual) == _to32(expected)


def match_calls(expected, actual):
    """Lines that describe every difference between the expected and the actual call sequence;
    empty when they agree call by call."""
    bindings = {}
    problems = []
    for i in range(max(len(expected), len(actual))):
        if i >= len(actual):
            problems.append("#%d: expected %s, but the program made no further call" % (i, _show(expected[i])))
            break
        if i >= len(expected):
            problems.append("#%d: unexpected further call %r" % (i, actual[i]))
            break
        function, args, ret = expected[i]
        call = actual[i]
        ok = call.function == function and len(call.args) == len(args) and all(
            _match_value(e, a, bindings) for e, a in zip(args, call.args))
        if ok and ret is not ANY:
            ok = call.result is not None and _match_value(ret, call.result, bindings, is_result=True)
        if not ok:
            problems.append("#%d: expected %s\n       got      %r" % (i, _show(expected[i]), call))
            context = actual[max(0, i - 3):i]
            if context:
                problems.append("     after: " + "\n            ".join(repr(c) for c in context))
            break
    return problems


def _show(expectation):
    function, args, ret = expectation

    def show(v):
        if isinstance(v, str):
            return '"%s"' % v
        if isinstance(v, int):
            return "0x%x" % v
        return repr(v)
    return "%s(%s) = %s" % (function, ", ".join(show(a) for a in args), show(ret))
