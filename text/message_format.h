// Fills the placeholders of a catalogue text ("Patching from %s to %s.",
// "... at least %dMB are available.") with already formatted values.
#pragma once

#include <initializer_list>
#include <string>
#include <string_view>

// Replaces each "%s", "%d", "%u" and "%lu" of format, in order, with the next
// value; placeholders without a value stay as they are, surplus values are
// ignored, and "%%" becomes "%". Values are inserted as text and never
// interpreted, so a value holding "%s" is harmless.
std::string FormatMessageText(std::string_view format,
                              std::initializer_list<std::string_view> values);
