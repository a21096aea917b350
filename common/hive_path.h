// Which files a restore may write and read, decided from SURVIN.INI's texts alone. A
// backup folder can come from anywhere, so its Hive and Type values are not trusted: a
// Hive must name a file of the kind its Type says (a machine hive in a config folder, a
// user's NTUSER.DAT or UsrClass.dat). The rule for Saved values, which must stay inside
// the backup folder, is SURVIN.INI's own (survin_ini.h).
//
// Header-only and free of any library, so that the Windows programs and the DOS program
// decide alike. Works on char (the DOS program, bytes as the file system sees them) and
// wchar_t (the Windows programs, after conversion from the ANSI code page). Letters are
// compared without case, ASCII only.
#pragma once

namespace hivepath {

namespace detail {

// The character's code, bytes taken as unsigned.
template <class Ch>
inline unsigned code(Ch c) {
    return sizeof(Ch) == 1 ? static_cast<unsigned char>(c) : static_cast<unsigned>(c);
}

template <class Ch>
inline Ch upper(Ch c) {
    return (c >= 'a' && c <= 'z') ? Ch(c - 'a' + 'A') : c;
}

// A piece of a path: [begin, end).
template <class Ch>
struct Part {
    const Ch* begin;
    const Ch* end;
    int size() const { return int(end - begin); }
};

template <class Ch>
inline bool equalsNoCase(Part<Ch> part, const char* text) {
    const Ch* p = part.begin;
    for (; p != part.end && *text; ++p, ++text) {
        if (upper(code(*p)) != upper(code(*text))) return false;
    }
    return p == part.end && !*text;
}

template <class Ch>
inline bool equalsNoCase(Part<Ch> a, Part<Ch> b) {
    if (a.size() != b.size()) return false;
    for (int i = 0; i < a.size(); ++i) {
        if (upper(a.begin[i]) != upper(b.begin[i])) return false;
    }
    return true;
}

// Characters that the file system reads as syntax, or that no file name may hold: control
// characters, quotes, wildcards, redirection, pipes and forward slashes (Windows takes those
// for separators, which would let a path step past the checks below). A colon is checked
// by the callers (only a drive may have one).
template <class Ch>
inline bool forbidden(Ch c) {
    if (code(c) < 0x20) return true;
    return c == '"' || c == '*' || c == '?' || c == '<' || c == '>' || c == '|' || c == '/';
}

inline bool isDigit(unsigned c) { return c >= '0' && c <= '9'; }

// A folder or file name that Windows and DOS would read as something else than the file
// it seems to name: empty (doubled separators), only dots ("." and ".." step out of the
// folder), ending in a dot or a blank (Windows drops them, so "config." is "config"), or
// a device (CON, NUL.DAT, COM1 ...: Windows opens the device in any folder).
template <class Ch>
inline bool unsafeName(Part<Ch> name) {
    if (name.size() == 0) return true;
    bool onlyDots = true;
    for (const Ch* p = name.begin; p != name.end; ++p) {
        if (*p != '.') onlyDots = false;
    }
    if (onlyDots) return true;
    Ch last = name.end[-1];
    if (last == '.' || last == ' ') return true;

    // The device test looks at the name before its first dot, without trailing blanks.
    const Ch* stem = name.begin;
    while (stem != name.end && *stem != '.') ++stem;
    while (stem != name.begin && stem[-1] == ' ') --stem;
    Part<Ch> base = {name.begin, stem};
    static const char* const kDevices[] = {"CON", "PRN", "AUX", "NUL", "CONIN$", "CONOUT$", "CLOCK$"};
    for (const char* device : kDevices) {
        if (equalsNoCase(base, device)) return true;
    }
    if (base.size() == 4) {
        Part<Ch> head = {base.begin, base.begin + 3};
        unsigned digit = code(base.begin[3]);
        // COM1-9, LPT1-9, also with 0 and the superscript digits 1, 2, 3 that Windows
        // takes for devices too.
        bool number = isDigit(digit) || digit == 0xB9 || digit == 0xB2 || digit == 0xB3;
        if (number && (equalsNoCase(head, "COM") || equalsNoCase(head, "LPT"))) return true;
    }
    return false;
}

// Splits a path at its backslashes into at most kMaxParts names; false when it has more.
const int kMaxParts = 64;
template <class Ch>
inline bool split(const Ch* path, Part<Ch>* parts, int* count) {
    int n = 0;
    const Ch* start = path;
    for (const Ch* p = path;; ++p) {
        if (*p == '\\' || *p == 0) {
            if (n == kMaxParts) return false;
            parts[n++] = Part<Ch>{start, p};
            if (*p == 0) break;
            start = p + 1;
        }
    }
    *count = n;
    return true;
}

// True when name is a valid 8.3 name: Windows makes no short alias for such a name, so
// only the name itself can stand for it.
inline bool isShortName(const char* name) {
    int base = 0, ext = -1;
    for (const char* p = name; *p; ++p) {
        if (*p == ' ') return false;
        if (*p == '.') {
            if (ext >= 0) return false;
            ext = 0;
        } else if (ext >= 0) {
            ++ext;
        } else {
            ++base;
        }
    }
    return base >= 1 && base <= 8 && ext != 0 && ext <= 3;
}

template <class Ch>
inline bool isHex(Ch c) {
    Ch u = upper(c);
    return (u >= '0' && u <= '9') || (u >= 'A' && u <= 'F');
}

// True when name is a short (8.3) alias that the file system may have made for the long
// name: the first letters of the long name without blanks and dots, "~" and a number
// (DOCUME~1 for Documents and Settings; some file systems put letters after the "~"), or
// two letters, four hexadecimal digits, "~" and a number (the hashed form). An extension
// of the alias is not looked at.
template <class Ch, class LongCh>
inline bool isAliasOf(Part<Ch> name, const LongCh* longName, int longSize) {
    const Ch* tilde = name.begin;
    while (tilde != name.end && *tilde != '~') ++tilde;
    if (tilde == name.end || tilde == name.begin || tilde - name.begin > 6) return false;
    const Ch* tail = tilde + 1;
    const Ch* stop = tail;
    while (stop != name.end && *stop != '.') {
        unsigned c = upper(code(*stop));
        if (!isDigit(c) && !(c >= 'A' && c <= 'Z')) return false;
        ++stop;
    }
    if (stop == tail || stop - name.begin > 8) return false;

    // The long name as aliases are made from it: no blanks, no dots.
    LongCh squeezed[kMaxParts * 4];
    int n = 0;
    for (int i = 0; i < longSize && n < int(sizeof squeezed / sizeof squeezed[0]); ++i) {
        if (longName[i] != ' ' && longName[i] != '.') squeezed[n++] = longName[i];
    }
    int prefix = int(tilde - name.begin);
    bool hashed = prefix == 6 && isHex(name.begin[2]) && isHex(name.begin[3]) && isHex(name.begin[4]) &&
                  isHex(name.begin[5]);
    int letters = hashed ? 2 : prefix;
    if (letters > n) return false;
    for (int i = 0; i < letters; ++i) {
        if (upper(code(name.begin[i])) != upper(code(squeezed[i]))) return false;
    }
    return true;
}

// A name of the path stands for the long name: the same name, or a short alias of it
// where the long name has one.
template <class Ch>
inline bool standsFor(Part<Ch> name, const char* longName) {
    if (equalsNoCase(name, longName)) return true;
    if (isShortName(longName)) return false;
    int size = 0;
    while (longName[size]) ++size;
    return isAliasOf(name, longName, size);
}

template <class Ch>
inline bool isShortName(Part<Ch> name) {
    char text[16];
    if (name.size() >= int(sizeof text)) return false;
    for (int i = 0; i < name.size(); ++i) {
        unsigned c = code(name.begin[i]);
        if (c > 0x7E) return false;
        text[i] = char(c);
    }
    text[name.size()] = 0;
    return isShortName(text);
}

// The same for a name of the Windows root, which may itself be long or short.
template <class Ch>
inline bool standsFor(Part<Ch> name, Part<Ch> rootName) {
    if (equalsNoCase(name, rootName)) return true;
    if (isShortName(rootName)) return false;
    return isAliasOf(name, rootName.begin, rootName.size());
}

template <class Ch>
inline bool isDriveLetter(Ch c) {
    Ch u = upper(c);
    return u >= 'A' && u <= 'Z';
}

}  // namespace detail

// A valid 8.3 name (the DOS program also asks it of the names it makes).
using detail::isShortName;

namespace detail {

// A file or folder name of a hive path stands for the given name: the same name, or a
// short alias of it. Unlike standsFor, an alias is taken also when the name itself would
// fit 8.3: a file system may make one for a mixed-case name (UsrClass.dat, USRCLA~1.DAT).
template <class Ch, class NameCh>
inline bool namedLike(Part<Ch> name, const NameCh* longName, int longSize) {
    if (name.size() == longSize) {
        bool same = true;
        for (int i = 0; same && i < longSize; ++i) same = upper(code(name.begin[i])) == upper(code(longName[i]));
        if (same) return true;
    }
    return isAliasOf(name, longName, longSize);
}

template <class Ch>
inline bool namedLike(Part<Ch> name, const char* longName) {
    int size = 0;
    while (longName[size]) ++size;
    return namedLike(name, longName, size);
}

}  // namespace detail

// The kind of hive a Type value of SURVIN.INI names, and so which file may receive it.
enum class HiveKind {
    Invalid,      // no root word, another root word, or a key that is no single safe name
    Machine,      // MACHINE\X: the file X directly inside a folder named config
    UserDefault,  // USERS\.DEFAULT: the file DEFAULT directly inside a folder named config
    UserProfile,  // USERS\<sid>: a file named NTUSER.DAT (NTUSER.MAN for a mandatory profile)
    UserClasses,  // USERS\<sid>_Classes: a file named UsrClass.dat
};

// Reads a Type value ("MACHINE\SOFTWARE", "USERS\S-1-5-21-...", "USERS\S-1-5-21-..._Classes").
// The key below the root must be one name that no path could misread: no separator, no
// character outside file-name syntax, no device name, no dots alone.
template <class Ch>
inline HiveKind hiveKindOfType(const Ch* type) {
    using namespace detail;
    if (!type) return HiveKind::Invalid;
    const Ch* slash = type;
    while (*slash && *slash != '\\') ++slash;
    if (!*slash) return HiveKind::Invalid;
    Part<Ch> rootWord = {type, slash};
    Part<Ch> key = {slash + 1, slash + 1};
    while (*key.end) ++key.end;
    for (const Ch* p = key.begin; p != key.end; ++p) {
        if (*p == '\\' || *p == ':' || forbidden(*p)) return HiveKind::Invalid;
    }
    if (equalsNoCase(rootWord, "MACHINE")) return unsafeName(key) ? HiveKind::Invalid : HiveKind::Machine;
    if (!equalsNoCase(rootWord, "USERS")) return HiveKind::Invalid;
    if (equalsNoCase(key, ".DEFAULT")) return HiveKind::UserDefault;
    if (unsafeName(key)) return HiveKind::Invalid;
    const char kClasses[] = "_Classes";
    const int cchClasses = int(sizeof kClasses) - 1;
    if (key.size() > cchClasses && equalsNoCase(Part<Ch>{key.end - cchClasses, key.end}, kClasses))
        return HiveKind::UserClasses;
    return HiveKind::UserProfile;
}

// True when hive, a full drive-letter path, may receive the saved copy of a hive of the
// given Type. The path must not be able to name anything but the file it seems to name:
// no "..", no stream or second colon, no device, no wildcard, quote or forward slash, no
// UNC or "\\?\" form, no doubled or trailing backslash. Its file is bound to the Type:
// MACHINE\X to a file X directly inside a folder named config (SCHEMA of Windows 8 and
// later: SCHEMA.DAT directly inside a folder named Machine), USERS\.DEFAULT to config's
// DEFAULT, USERS\<sid> to NTUSER.DAT (or NTUSER.MAN), USERS\<sid>_Classes to
// UsrClass.dat; the folders are any of the drive, so that an installation whose profiles
// lie elsewhere (an upgraded system's %SystemRoot%\Profiles, a moved or localised profile
// folder) is restored. Short (8.3) names are taken for the long names they stand for.
// Which drive the path is on is the callers' (only the drive letter follows the target).
template <class Ch>
inline bool isHiveTargetOfType(const Ch* hive, const Ch* type) {
    using namespace detail;
    if (!hive) return false;
    for (const Ch* p = hive; *p; ++p) {
        if (forbidden(*p) || (*p == ':' && p != hive + 1)) return false;
    }
    if (!isDriveLetter(hive[0]) || hive[1] != ':' || hive[2] != '\\') return false;
    Part<Ch> h[kMaxParts];
    int nh = 0;
    if (!split(hive, h, &nh) || nh < 2) return false;
    for (int i = 1; i < nh; ++i) {
        if (unsafeName(h[i])) return false;
    }
    const Part<Ch> file = h[nh - 1];
    const bool inConfig = nh >= 3 && namedLike(h[nh - 2], "config");

    switch (hiveKindOfType(type)) {
    case HiveKind::Machine: {
        const Ch* key = type;
        while (*key != '\\') ++key;
        Part<Ch> name = {key + 1, key + 1};
        while (*name.end) ++name.end;
        if (inConfig && namedLike(file, name.begin, name.size())) return true;
        // Windows 8 and later keep one machine hive outside config: SCHEMA as
        // System32\SMI\Store\Machine\SCHEMA.DAT.
        const int kCchName = 64;
        Ch withExtension[kCchName];
        const int cch = name.size();
        if (cch + 4 > kCchName || nh < 3 || !namedLike(h[nh - 2], "Machine")) return false;
        for (int i = 0; i < cch; ++i) withExtension[i] = name.begin[i];
        const char kDat[] = ".DAT";
        for (int i = 0; i < 4; ++i) withExtension[cch + i] = Ch(kDat[i]);
        return namedLike(file, withExtension, cch + 4);
    }
    case HiveKind::UserDefault:
        return inConfig && namedLike(file, "DEFAULT");
    case HiveKind::UserProfile:
        return namedLike(file, "NTUSER.DAT") || namedLike(file, "NTUSER.MAN");
    case HiveKind::UserClasses:
        return namedLike(file, "UsrClass.dat");
    default:
        return false;
    }
}

}  // namespace hivepath
