#pragma once

// Exit codes of vtrpro-rules. Every subcommand gives each the same meaning,
// so a script can act on the code without knowing which command it ran.
namespace ExitCode {
// Done: the command did what it was asked (or found nothing to do).
constexpr int kDone = 0;
// Found something: a difference, a flagged check.
constexpr int kFound = 1;
// Refused or unreadable: bad arguments, an unknown name, a wrong password,
// a file that cannot be read or written. The file is untouched.
constexpr int kRefused = 2;
// A protected file's fingerprint does not match: its rules were changed
// outside the program. The file is untouched.
constexpr int kFingerprint = 3;
// The file is held by another copy of the program. The file is untouched.
constexpr int kHeld = 4;
} // namespace ExitCode
