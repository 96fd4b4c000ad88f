#pragma once
// The add-in's names that live outside its code: its ProgID, the key of its
// settings and the log mask of a support case. Each is written here once, on
// one "#define ZANDREL_NAME value" line: the code includes this header, and
// tools/idl-ids reads those lines (as NAME=value, a string's escapes undone)
// and hands them to the installer's source and to the scripts. The class,
// type library and interface identifiers live in the type library's source
// (src/win/idl/zandrel.idl), which tools/idl-ids reads too.

#include <cstdint>

// The class's version-independent ProgID; its versioned one adds ".1".
#define ZANDREL_PROGID "zandrel.Connect"
// Where the logger's settings live, under HKEY_LOCAL_MACHINE.
#define ZANDREL_SETTINGS_KEY "SOFTWARE\\Veltrane Software\\Orvelle\\AddIns\\VisualStudio"
// The log mask of a support case: every level and category of the add-in's lines.
#define ZANDREL_SUPPORT_MASK 0x7F004000

// The mask as text, as written above ("0x7F004000").
#define ZANDREL_TEXT_OF(x) #x
#define ZANDREL_TEXT(x) ZANDREL_TEXT_OF(x)
#define ZANDREL_SUPPORT_MASK_TEXT ZANDREL_TEXT(ZANDREL_SUPPORT_MASK)

namespace zandrel::shared {

inline constexpr char kProgId[] = ZANDREL_PROGID;
inline constexpr wchar_t kWideProgId[] = L"" ZANDREL_PROGID;
inline constexpr wchar_t kWideVersionedProgId[] = L"" ZANDREL_PROGID ".1";
inline constexpr char kSettingsKey[] = ZANDREL_SETTINGS_KEY;
inline constexpr std::uint32_t kSupportLogMask = ZANDREL_SUPPORT_MASK;

}  // namespace zandrel::shared
