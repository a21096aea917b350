// The walks of the SURVIN.INI schema that the Windows readers take, one key of one section
// at a time (wide and ANSI): where the hive sections and the Files list end, and which
// sections a selection takes.
#include <gtest/gtest.h>

#include <map>
#include <set>
#include <string>
#include <vector>

#include "../common/survin_ini.h"

namespace {

// A profile file as the platform's reads see it: section -> key -> value.
template <class Ch>
using Profile = std::map<std::basic_string<Ch>, std::map<std::basic_string<Ch>, std::basic_string<Ch>>>;

template <class Ch>
std::basic_string<Ch> text(const std::string& ascii) {
    return std::basic_string<Ch>(ascii.begin(), ascii.end());
}

template <class Ch>
std::string ascii(const Ch* s) {
    std::string out;
    for (; *s; ++s) out += char(*s);
    return out;
}

// The shape of the profile-string read: "" for a missing key, cut to cch - 1. Remembers
// which keys were read.
template <class Ch>
struct ProfileReads {
    explicit ProfileReads(const Profile<Ch>& readFrom) : profile(readFrom) {}
    const Profile<Ch>& profile;
    std::set<std::string> keys;
    int operator()(const Ch* section, const Ch* key, Ch* out, int cch) {
        keys.insert(ascii(key));
        std::basic_string<Ch> value;
        auto s = profile.find(section);
        if (s != profile.end()) {
            auto k = s->second.find(key);
            if (k != s->second.end()) value = k->second.substr(0, size_t(cch - 1));
        }
        std::copy(value.begin(), value.end(), out);
        out[value.size()] = 0;
        return int(value.size());
    }
};

// Sections DATA<i> with the given Category values ("-" leaves the key out), each with
// Type, Saved and Hive values of its own.
template <class Ch>
Profile<Ch> withCategories(const std::vector<std::string>& categories) {
    Profile<Ch> profile;
    for (size_t i = 0; i < categories.size(); ++i) {
        auto& section = profile[text<Ch>("DATA" + std::to_string(i))];
        if (categories[i] != "-") section[text<Ch>("Category")] = text<Ch>(categories[i]);
        section[text<Ch>("Type")] = text<Ch>("t" + std::to_string(i));
        section[text<Ch>("Saved")] = text<Ch>("s" + std::to_string(i));
        section[text<Ch>("Hive")] = text<Ch>("h" + std::to_string(i));
    }
    return profile;
}

// The yielded sections as "<category>:<type>,<saved>,<hive> ".
template <class Ch>
std::string walk(const std::vector<std::string>& categories, uint32_t selection) {
    const Profile<Ch> profile = withCategories<Ch>(categories);
    ProfileReads<Ch> reads{profile};
    survinini::ProfileDataWalk<Ch, ProfileReads<Ch>> sections(reads, selection, true);
    std::string walked;
    for (survinini::DataEntry<Ch> entry; sections.next(entry);) {
        walked += std::to_string(entry.category) + ":" + ascii(entry.type) + "," + ascii(entry.saved) + "," +
                  ascii(entry.hive) + " ";
    }
    return walked;
}

TEST(SurvinIniSchema, HiveSectionsEndWhereTheWindowsReadersEnd) {
    struct Case {
        const char* what;
        std::vector<std::string> categories;
        uint32_t selection;
        std::string walked;
        uint32_t all;  // every category of the list, ored
    };
    const uint32_t kAny = survinini::kAnyCategory;
    std::vector<std::string> many(120, "1");
    many[110] = "4";  // past DATA99: neither listed nor restored
    std::string first100;
    for (int i = 0; i < 100; ++i) first100 += "1:t" + std::to_string(i) + ",s" + std::to_string(i) + ",h" + std::to_string(i) + " ";
    const std::vector<Case> cases = {
        {"a gap ends the list", {"1", "2", "-", "4"}, kAny, "1:t0,s0,h0 2:t1,s1,h1 ", 3},
        {"-1 ends it", {"2", "-1", "4"}, kAny, "2:t0,s0,h0 ", 2},
        {"an empty value ends it", {"1", "", "4"}, kAny, "1:t0,s0,h0 ", 1},
        {"sections after DATA99 are not read", many, kAny, first100, 1},
        {"unselected sections are passed over", {"1", "2", "4", "2"}, 2, "2:t1,s1,h1 2:t3,s3,h3 ", 7},
        {"numbers as a reader of the file takes them", {"0", " 2", "+4x", "abc", "-2"}, 4,
         "4:t2,s2,h2 4294967294:t4,s4,h4 ", 0xFFFFFFFE},
        {"no sections", {}, kAny, "", 0},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(walk<wchar_t>(c.categories, c.selection), c.walked) << c.what;
        EXPECT_EQ(walk<char>(c.categories, c.selection), c.walked) << c.what;
        const Profile<wchar_t> profile = withCategories<wchar_t>(c.categories);
        ProfileReads<wchar_t> reads{profile};
        EXPECT_EQ(survinini::categoriesOf<wchar_t>(reads), c.all) << c.what;
        EXPECT_EQ(reads.keys, std::set<std::string>{"Category"}) << c.what << ": a listing reads no paths";
    }
}

TEST(SurvinIniSchema, FilesListEndsAtItsFirstShortEntry) {
    struct Case {
        const char* what;
        std::vector<std::string> values;  // keys "0", "1" ...; "-" leaves the key out
        std::vector<std::string> listed;
    };
    std::vector<std::string> many;
    for (int i = 0; i < 1001; ++i) many.push_back("f" + std::to_string(i));
    const std::vector<Case> cases = {
        {"the kit's files end with SURVIN.INI", {"software", "Users\\1\\NTUSER.DAT", "SURVIN.WRC", "SURVIN.EXE", "SURVIN.INI"},
         {"software", "Users\\1\\NTUSER.DAT", "SURVIN.WRC", "SURVIN.EXE", "SURVIN.INI"}},
        {"a gap ends it", {"ab", "-", "cd"}, {"ab"}},
        {"one letter among blanks ends it", {"ab", " c ", "de"}, {"ab"}},
        {"blanks are kept in what is listed", {" a b ", "cd"}, {" a b ", "cd"}},
        {"keys after 999 are not read", many, std::vector<std::string>(many.begin(), many.begin() + 1000)},
    };
    for (const Case& c : cases) {
        Profile<wchar_t> profile;
        for (size_t i = 0; i < c.values.size(); ++i) {
            if (c.values[i] != "-") profile[L"Files"][std::to_wstring(i)] = text<wchar_t>(c.values[i]);
        }
        ProfileReads<wchar_t> reads{profile};
        survinini::FilesWalk<wchar_t, ProfileReads<wchar_t>> files(reads);
        std::vector<std::string> listed;
        while (const wchar_t* file = files.next()) listed.push_back(ascii(file));
        EXPECT_EQ(listed, c.listed) << c.what;
        EXPECT_EQ(files.next(), nullptr) << c.what << ": the end stays the end";
    }
}

}  // namespace
