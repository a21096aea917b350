// SURVIN.INI, the restore information file of every backup folder: its names, limits and
// category bits, the walks over its hive sections and its file list, and the rule for the
// relative paths it holds. The backup program writes it; the backup browser, the pruning,
// the Windows restore program and the DOS restore program read it, and all of them take
// what they agree on from here.
//
// Header-only and free of any library, so that the DOS program (gcc -m16, freestanding)
// shares it. Works on char (the DOS program and the ANSI restore program, bytes as the
// file holds them) and wchar_t (the backup program). Letters are compared without case,
// ASCII only.
//
// Two kinds of reader walk the hive sections. The Windows programs read one key of one
// section at a time (the profile functions): they go DATA0, DATA1 ... and end at the first
// section without a Category. The DOS program reads the file line by line and matches keys
// as line prefixes, whatever section they stand in. Both walks yield the same DataEntry.
#pragma once
#include <stdint.h>

#include "hive_path.h"

namespace survinini {

// A fixed name of the file in the reader's character type: kKeyHive<char> for the ANSI
// readers, kKeyHive<wchar_t> for the wide ones. Converts to a plain string pointer.
template <class Ch, int N>
struct Name {
    Ch text[N];
    constexpr operator const Ch*() const { return text; }
};

namespace detail {

template <class Ch, int N>
constexpr Name<Ch, N> name(const char (&ascii)[N]) {
    Name<Ch, N> out{};
    for (int i = 0; i < N; ++i) out.text[i] = Ch(ascii[i]);
    return out;
}

}  // namespace detail

template <class Ch> inline constexpr auto kFileName = detail::name<Ch>("SURVIN.INI");

// Sections, in file order: INFO, DATA0 ... DATAn-1, Files.
template <class Ch> inline constexpr auto kSectionInfo = detail::name<Ch>("INFO");
template <class Ch> inline constexpr auto kDataPrefix = detail::name<Ch>("DATA");
template <class Ch> inline constexpr auto kSectionFiles = detail::name<Ch>("Files");

// Keys of INFO, in file order.
template <class Ch> inline constexpr auto kKeyDateTime = detail::name<Ch>("DateTime");
template <class Ch> inline constexpr auto kKeyIniVersion = detail::name<Ch>("IniVersion");
template <class Ch> inline constexpr auto kKeyWinVer = detail::name<Ch>("WinVer");
template <class Ch> inline constexpr auto kKeyOsString = detail::name<Ch>("OSString");
template <class Ch> inline constexpr auto kKeyWarning1 = detail::name<Ch>("WARNING_1");
template <class Ch> inline constexpr auto kKeyOsInfo = detail::name<Ch>("OSINFO");
template <class Ch> inline constexpr auto kKeyWarning2 = detail::name<Ch>("WARNING_2");
template <class Ch> inline constexpr auto kKeySysRoot = detail::name<Ch>("SysRoot");
template <class Ch> inline constexpr auto kKeyWinDevice = detail::name<Ch>("WinDevice");
template <class Ch> inline constexpr auto kKeyCurUser = detail::name<Ch>("CurUser");
template <class Ch> inline constexpr auto kIniVersion = detail::name<Ch>("1");
// The lines that frame OSINFO; only the backup program writes them, as wide text.
inline constexpr wchar_t kWarning1[] = L"永远不要编辑下面的行";
inline constexpr wchar_t kWarning2[] = L"永远不要编辑上面的行";

// Keys of each DATAn, in file order: Saved before Hive and Category last, which the DOS
// program's line reader depends on.
template <class Ch> inline constexpr auto kKeyType = detail::name<Ch>("Type");
template <class Ch> inline constexpr auto kKeySaved = detail::name<Ch>("Saved");
template <class Ch> inline constexpr auto kKeyHive = detail::name<Ch>("Hive");
template <class Ch> inline constexpr auto kKeyCategory = detail::name<Ch>("Category");

// Files lists the saved hives ("0" ... "n-1", the Saved values in order), then these
// four, SURVIN.INI (kFileName) the last, so that deleting it ends the list. Older backups
// have no SURVIN64.EXE.
template <class Ch> inline constexpr auto kScriptFile = detail::name<Ch>("SURVIN.WRC");
template <class Ch> inline constexpr auto kProgramFile = detail::name<Ch>("SURVIN.EXE");
template <class Ch> inline constexpr auto kProgram64File = detail::name<Ch>("SURVIN64.EXE");

// The profile readers look at DATA0 ... DATA99 and Files keys "0" ... "999" at most.
const int kMaxDataSections = 100;
const int kMaxFilesKeys = 1000;
// Characters of a value as the Windows readers read it (paths from a profile file).
const int kCchProfileValue = 520;
// The line reader's buffer: lines are read up to 511 characters.
const int kCchLine = 512;

// Category bits: each hive has exactly one; a backup's categories are their bitwise or.
const uint32_t kCategorySystem = 1;       // machine hives, .DEFAULT, user hives in a config folder
const uint32_t kCategoryCurrentUser = 2;  // the hives of the user who ran the backup
const uint32_t kCategoryOthers = 4;       // every other user's hives
// A selection that takes every section, whatever bits its Category has.
const uint32_t kAnyCategory = 0xFFFFFFFFu;

// A number of the file (Category) as every reader takes it: blanks and tabs, a sign, then
// decimal digits up to the first other character; nothing readable is 0.
template <class Ch>
inline int32_t numberOf(const Ch* text) {
    while (*text == ' ' || *text == '\t') ++text;
    bool negative = false;
    if (*text == '-' || *text == '+') negative = (*text++ == '-');
    uint32_t value = 0;
    for (; *text >= '0' && *text <= '9'; ++text) value = value * 10 + uint32_t(*text - '0');
    return negative ? int32_t(0u - value) : int32_t(value);
}

// A section or key name made from a number: DATA<n>, or the Files key <n>.
template <class Ch>
struct IndexedName {
    Ch text[16];
    operator const Ch*() const { return text; }
};

namespace detail {

template <class Ch>
inline IndexedName<Ch> indexed(const char* prefix, int index) {
    IndexedName<Ch> out;
    int n = 0;
    while (*prefix) out.text[n++] = Ch(*prefix++);
    char digits[12];
    int count = 0;
    uint32_t value = uint32_t(index < 0 ? 0 : index);
    do {
        digits[count++] = char('0' + value % 10);
        value /= 10;
    } while (value);
    while (count) out.text[n++] = Ch(digits[--count]);
    out.text[n] = 0;
    return out;
}

template <class Ch>
inline void copyCut(Ch* dst, const Ch* src, int cch) {
    int i = 0;
    for (; i < cch - 1 && src[i]; ++i) dst[i] = src[i];
    dst[i] = 0;
}

template <class Ch>
inline bool startsWithNoCase(const Ch* line, const char* prefix) {
    for (; *prefix; ++line, ++prefix) {
        if (!*line || hivepath::detail::upper(hivepath::detail::code(*line)) !=
                          hivepath::detail::upper(hivepath::detail::code(*prefix)))
            return false;
    }
    return true;
}

template <class Ch>
inline int length(const Ch* text) {
    int n = 0;
    while (text[n]) ++n;
    return n;
}

// Ends with a section whose Category is missing or -1.
template <class Ch>
inline bool endsTheSections(const Ch* category, int32_t* value) {
    if (!category[0]) return true;
    *value = numberOf(category);
    return *value == -1;
}

}  // namespace detail

template <class Ch>
inline IndexedName<Ch> dataSection(int index) {
    return detail::indexed<Ch>("DATA", index);
}

template <class Ch>
inline IndexedName<Ch> filesKey(int index) {
    return detail::indexed<Ch>("", index);
}

// One hive section: its Category and, where the walk reads them, its values as the file
// holds them (blanks and quotes are the reader's to remove). Missing values are "". The
// texts belong to the walk and hold until its next step.
template <class Ch>
struct DataEntry {
    uint32_t category;
    const Ch* type;
    const Ch* saved;
    const Ch* hive;
};

// True when a Category takes part in a run that restores or lists the selected categories.
inline bool isSelected(uint32_t category, uint32_t selection) {
    return (category & selection) != 0;
}

// What a profile reader needs of the file: readKey(section, key, out, cch) puts the value
// of one key into out (cut to cch - 1 characters, "" when missing) and returns its length,
// the shape of the platform's profile-string read.
//
// The hive sections for such a reader: DATA0, DATA1 ... in order, at most
// kMaxDataSections, ending at the first section whose Category is missing or -1 (a gap
// in the numbering ends the list). Yields the sections whose Category has a bit of the
// selection; with paths, also reads their Type, Saved and Hive (the listing readers need
// only the categories, and save three reads per section).
template <class Ch, class ReadKey, int kCch = kCchProfileValue>
class ProfileDataWalk {
public:
    ProfileDataWalk(ReadKey& readKey, uint32_t selection, bool paths)
        : readKey_(readKey), selection_(selection), paths_(paths) {}

    bool next(DataEntry<Ch>& entry) {
        while (index_ < kMaxDataSections) {
            const IndexedName<Ch> section = dataSection<Ch>(index_++);
            Ch number[32];
            readKey_(section.text, kKeyCategory<Ch>.text, number, 32);
            int32_t category = 0;
            if (detail::endsTheSections(number, &category)) break;
            if (!isSelected(uint32_t(category), selection_)) continue;
            type_[0] = saved_[0] = hive_[0] = 0;
            if (paths_) {
                readKey_(section.text, kKeyType<Ch>.text, type_, kCch);
                readKey_(section.text, kKeySaved<Ch>.text, saved_, kCch);
                readKey_(section.text, kKeyHive<Ch>.text, hive_, kCch);
            }
            entry = DataEntry<Ch>{uint32_t(category), type_, saved_, hive_};
            return true;
        }
        index_ = kMaxDataSections;
        return false;
    }

private:
    ReadKey& readKey_;
    uint32_t selection_;
    bool paths_;
    int index_ = 0;
    Ch type_[kCch], saved_[kCch], hive_[kCch];
};

// The categories of all hive sections ored together, as the browser and the restore
// program's loader take them: 0 is a file without hives.
template <class Ch, class ReadKey>
inline uint32_t categoriesOf(ReadKey& readKey) {
    ProfileDataWalk<Ch, ReadKey, 1> walk(readKey, kAnyCategory, false);
    uint32_t categories = 0;
    for (DataEntry<Ch> entry; walk.next(entry);) categories |= entry.category;
    return categories;
}

// The Files list for a profile reader: the values of keys "0", "1" ... at most
// kMaxFilesKeys, each read just before it is yielded (the pruning deletes each file
// before it reads the next key, and SURVIN.INI, the last, ends the list). Ends at the
// first value that has fewer than two characters besides blanks (a missing key included).
template <class Ch, class ReadKey, int kCch = kCchProfileValue>
class FilesWalk {
public:
    explicit FilesWalk(ReadKey& readKey) : readKey_(readKey) {}

    // The next listed file as the file holds it, or nullptr at the end.
    const Ch* next() {
        while (index_ < kMaxFilesKeys) {
            int cch = readKey_(kSectionFiles<Ch>.text, filesKey<Ch>(index_++).text, value_, kCch);
            int letters = 0;
            for (int i = 0; i < cch && value_[i]; ++i) letters += value_[i] != ' ';
            if (letters < 2) break;
            return value_;
        }
        index_ = kMaxFilesKeys;
        return nullptr;
    }

private:
    ReadKey& readKey_;
    int index_ = 0;
    Ch value_[kCch];
};

// The DOS program's view of a line: a key matches when the line begins with its name
// (without case), and its value starts one character after the name, where "=" stands.
enum class LineKind {
    Other,
    DataHeader,  // "[DATA": a hive section begins
    OsString,
    SysRoot,
    DateTime,
    Type,
    Saved,
    Hive,
    Category,
};

template <class Ch>
struct Line {
    LineKind kind;
    const Ch* value;  // "" when the line ends within the name
};

// Cuts line at its first CR or LF, and tells what it holds. The names are no prefixes of
// one another, so the order of the tests does not matter.
template <class Ch>
inline Line<Ch> classifyLine(Ch* line) {
    for (Ch* p = line; *p; ++p) {
        if (*p == '\r' || *p == '\n') {
            *p = 0;
            break;
        }
    }
    struct Match {
        const char* name;
        LineKind kind;
    };
    static const Match kMatches[] = {
        {"OSString", LineKind::OsString}, {"SysRoot", LineKind::SysRoot}, {"DateTime", LineKind::DateTime},
        {"Type", LineKind::Type},         {"Saved", LineKind::Saved},     {"Hive", LineKind::Hive},
        {"Category", LineKind::Category},
    };
    static const Ch kEmpty[1] = {0};
    if (detail::startsWithNoCase(line, "[DATA")) return Line<Ch>{LineKind::DataHeader, line + 5};
    for (const Match& match : kMatches) {
        if (!detail::startsWithNoCase(line, match.name)) continue;
        int n = detail::length(match.name);
        return Line<Ch>{match.kind, detail::length(line) > n ? line + n + 1 : kEmpty};
    }
    return Line<Ch>{LineKind::Other, kEmpty};
}

// The hive sections for the line reader: readLine() gives the next line of the file
// (writable, NUL-terminated) or nullptr at the end. Sections are not counted: "[DATA"
// forgets the values read so far, Saved forgets a Hive read before it, and a Category
// line yields an entry when its category has a bit of the selection and a Saved and a
// Hive value stand before it. A yielded entry's values are forgotten; a Category that is
// not taken leaves them for a later one. Values are cut to kCch - 1 characters.
template <class Ch, class ReadLine, int kCch>
class LineDataWalk {
public:
    LineDataWalk(ReadLine& readLine, uint32_t selection) : readLine_(readLine), selection_(selection) {}

    bool next(DataEntry<Ch>& entry) {
        type_[0] = saved_[0] = hive_[0] = 0;
        while (Ch* text = readLine_()) {
            const Line<Ch> line = classifyLine(text);
            switch (line.kind) {
            case LineKind::DataHeader:
                type_[0] = saved_[0] = hive_[0] = 0;
                break;
            case LineKind::Type:
                detail::copyCut(type_, line.value, kCch);
                break;
            case LineKind::Saved:
                detail::copyCut(saved_, line.value, kCch);
                hive_[0] = 0;
                break;
            case LineKind::Hive:
                detail::copyCut(hive_, line.value, kCch);
                break;
            case LineKind::Category: {
                uint32_t category = uint32_t(numberOf(line.value));
                if (isSelected(category, selection_) && hive_[0] && saved_[0]) {
                    entry = DataEntry<Ch>{category, type_, saved_, hive_};
                    return true;
                }
                break;
            }
            default:
                break;
            }
        }
        return false;
    }

private:
    ReadLine& readLine_;
    uint32_t selection_;
    Ch type_[kCch], saved_[kCch], hive_[kCch];
};

// True when path, a Saved value or a Files entry, is relative to the backup folder and
// stays inside it: no drive, UNC or device prefix, no leading backslash, no "..", no
// stream, no name that Windows or DOS reads as another file (empty, dots only, a trailing
// dot or blank, a device), nothing that reads as syntax.
template <class Ch>
inline bool isInsideBackupFolder(const Ch* path) {
    using namespace hivepath::detail;
    if (!path || !path[0]) return false;
    for (const Ch* p = path; *p; ++p) {
        if (forbidden(*p) || *p == ':') return false;
    }
    Part<Ch> parts[kMaxParts];
    int n = 0;
    if (!split(path, parts, &n)) return false;
    for (int i = 0; i < n; ++i) {
        // An empty first name is a leading backslash: absolute, or UNC with two.
        if (unsafeName(parts[i])) return false;
    }
    return true;
}

}  // namespace survinini
