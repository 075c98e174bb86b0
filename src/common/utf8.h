#pragma once

#include <string>
#include <string_view>

namespace folio {

// UTF-16 <-> UTF-8 that keeps every byte of a file name. A byte that is not part
// of valid UTF-8 (a stray byte, an overlong form, an encoded surrogate, a code
// point above U+10FFFF, a cut-off sequence) becomes the lone surrogate
// U+DC80 + byte, and ToUtf8 turns such a surrogate back into that byte, so
// FromUtf8 then ToUtf8 gives any byte string back exactly. Other unpaired
// surrogates (which no byte string produces) become U+FFFD. Never reads past
// its input.
std::string ToUtf8(std::u16string_view text);
std::u16string FromUtf8(std::string_view text);

// The text for a person to read: every kept byte (U+DC80 + byte) as "\xFF".
std::u16string ShownText(std::u16string_view text);

// Bytes made valid UTF-8 for showing: each byte that is not part of valid UTF-8
// as "\xFF"; everything else unchanged.
std::string ShownUtf8(std::string_view bytes);

// Bytes made valid UTF-8 for a format that can carry nothing else: each byte that
// is not part of valid UTF-8 as U+FFFD.
std::string ValidUtf8(std::string_view bytes);

// ShownUtf8, and also safe to write to a terminal: C0 controls and DEL as "\x1B",
// C1 controls and the bidirectional overrides and isolates (U+202A-202E,
// U+2066-2069) as "\u202E", so a name cannot move the cursor, retitle the
// window or reorder the text around it.
std::string TerminalText(std::string_view bytes);

}  // namespace folio
