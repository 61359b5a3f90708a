#pragma once

#include <string>

#include <QByteArray>
#include <QString>

// A character as ASCII lowers it (and as toLower and case folding do for
// ASCII): only 'A' to 'Z' change. For units of UTF-8 or UTF-16 alike.
template <typename Unit> constexpr Unit VtrAsciiLower(Unit c)
{
    return c >= Unit('A') && c <= Unit('Z') ? Unit(c + ('a' - 'A')) : c;
}

// The UTF-8 of a string, in a buffer kept per thread and per slot: the
// element and attribute calls convert several names and values for every
// rule, and an allocation for each would cost more than the XML itself.
// The pointer stays valid until the slot is used again on the same thread.
// The text is what QString::toUtf8 gives.
inline const char* VtrUtf8(const QString& text, int slot = 0)
{
    thread_local std::string buffers[3];
    std::string& out = buffers[slot];
    const auto size = static_cast<size_t>(text.size());
    out.resize(size);
    // constData, not utf16: that one copies a string a literal made.
    const auto* in = reinterpret_cast<const char16_t*>(text.constData());
    char16_t seen = 0;
    for (size_t i = 0; i < size; ++i) {
        seen |= in[i];
        out[i] = static_cast<char>(in[i]);
    }
    if (seen >= 0x80) {
        const QByteArray utf8 = text.toUtf8();
        out.assign(utf8.constData(), static_cast<size_t>(utf8.size()));
    }
    return out.c_str();
}
