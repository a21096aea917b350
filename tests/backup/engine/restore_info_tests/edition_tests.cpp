// Edition texts from constructed records, in both programs' forms, and the round trip
// between the query and a stored record on the machine the tests run on.
#include <gtest/gtest.h>

#include <cstring>

#include "edition.h"
#include "info_helpers.h"
#include "test_support.h"

using testing_support::fromAnsi;
using testing_support::toUtf8;

namespace {

OsInfoRecord makeRecord(DWORD platform, DWORD major, DWORD minor, DWORD build, const char* servicePack) {
    OsInfoRecord r;
    memset(&r, 0, sizeof(r));
    r.versionInfoSize = 156;
    r.platformId = platform;
    r.majorVersion = major;
    r.minorVersion = minor;
    r.buildNumber = build;
    lstrcpynA(r.csdVersion, servicePack, sizeof(r.csdVersion));
    return r;
}

OsInfoRecord nt(DWORD major, DWORD minor, DWORD build, BYTE productType, WORD suite, WORD arch,
                DWORD product = 0, const char* servicePack = "") {
    OsInfoRecord r = makeRecord(VER_PLATFORM_WIN32_NT, major, minor, build, servicePack);
    r.productType = productType;
    r.suiteMask = suite;
    r.architecture = arch;
    r.productNumber = product;
    return r;
}

constexpr BYTE kWorkstation = 1, kDomainController = 2, kServer = 3;
constexpr WORD kX86 = 0, kIa64 = 6, kX64 = 9;

std::wstring wideText(const OsInfoRecord& r, bool serverR2 = false) {
    std::wstring text;
    EXPECT_TRUE(editionTextW(r, serverR2, text));
    return text;
}

std::string ansiText(const OsInfoRecord& r, bool serverR2 = false) {
    std::string text;
    EXPECT_TRUE(editionTextA(r, serverR2, text));
    return text;
}

// An NT row: the base text with the build suffix, once without and once with a
// service-pack text, identical in the wide and the 8-bit form.
void expectNtRow(OsInfoRecord r, const std::string& base, bool serverR2 = false) {
    SCOPED_TRACE(base);
    const std::string build = " (build " + std::to_string(r.buildNumber) + ")";
    r.csdVersion[0] = '\0';
    EXPECT_EQ(ansiText(r, serverR2), base + build);
    EXPECT_EQ(toUtf8(wideText(r, serverR2)), base + build);
    lstrcpyA(r.csdVersion, "Service Pack 2");
    EXPECT_EQ(ansiText(r, serverR2), base + " Service Pack 2" + build);
    EXPECT_EQ(toUtf8(wideText(r, serverR2)), base + " Service Pack 2" + build);
}

OsInfoRecord fromHex(const char* hex) {
    OsInfoRecord r;
    auto* bytes = reinterpret_cast<unsigned char*>(&r);
    for (size_t i = 0; i < sizeof(r); ++i) {
        unsigned value = 0;
        sscanf(hex + 2 * i, "%2X", &value);
        bytes[i] = static_cast<unsigned char>(value);
    }
    return r;
}

}  // namespace

TEST(EditionText, NineXFamilyHasNoServicePackOrBuildSuffix) {
    struct Row {
        DWORD minor;
        const char* servicePack;
        const char* text;
    } rows[] = {
        {0, "", "Windows 95 "},         {0, " B", "Windows 95 OSR2"}, {0, " C", "Windows 95 OSR2"},
        {0, " A", "Windows 95 "},       {10, "", "Windows 98 "},      {10, " A ", "Windows 98 SE"},
        {10, " B", "Windows 98 "},      {90, "", "Windows Millennium"}, {90, " A", "Windows Millennium"},
        {3, " A", ""},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.text);
        OsInfoRecord r = makeRecord(VER_PLATFORM_WIN32_WINDOWS, 4, row.minor, 0x040A0000 | 2222, row.servicePack);
        EXPECT_EQ(ansiText(r), row.text);
        EXPECT_EQ(toUtf8(wideText(r)), row.text);
    }
    // Only major version 4 of the family has a name; the answer is still a success.
    EXPECT_EQ(ansiText(makeRecord(VER_PLATFORM_WIN32_WINDOWS, 5, 0, 1, "")), "");
}

TEST(EditionText, OtherPlatformsFail) {
    for (DWORD platform : {0u, 3u}) {
        OsInfoRecord r = nt(5, 1, 2600, kWorkstation, 0, kX86);
        r.platformId = platform;
        std::wstring wide = L"old";
        std::string narrow = "old";
        EXPECT_FALSE(editionTextW(r, false, wide));
        EXPECT_FALSE(editionTextA(r, false, narrow));
    }
}

TEST(EditionText, NtFourAndThree) {
    expectNtRow(nt(4, 0, 1381, kWorkstation, 0, kX86), "Windows NT 4.0 Workstation");
    expectNtRow(nt(4, 0, 1381, kServer, VER_SUITE_ENTERPRISE, kX86), "Windows NT 4.0 Advanced Server");
    expectNtRow(nt(4, 0, 1381, kDomainController, 0, kX86), "Windows NT 4.0 Server");
    expectNtRow(nt(3, 51, 1057, kWorkstation, 0, kX86), "Windows NT 3.51 Workstation");
    expectNtRow(nt(3, 51, 1057, kServer, 0, kX86), "Windows NT 3.51 Server");
}

TEST(EditionText, Windows2000) {
    expectNtRow(nt(5, 0, 2195, kWorkstation, VER_SUITE_DATACENTER, kX86), "Windows 2000 Professional");
    expectNtRow(nt(5, 0, 2195, kServer, VER_SUITE_DATACENTER | VER_SUITE_ENTERPRISE, kX86),
                "Windows 2000 Datacenter Server");
    expectNtRow(nt(5, 0, 2195, kServer, VER_SUITE_ENTERPRISE, kX86), "Windows 2000 Advanced Server");
    expectNtRow(nt(5, 0, 2195, kDomainController, 0, kX86), "Windows 2000 Server");
}

TEST(EditionText, WindowsXp) {
    expectNtRow(nt(5, 1, 2600, kWorkstation, VER_SUITE_PERSONAL | VER_SUITE_SINGLEUSERTS, kX86), "Windows XP Home");
    expectNtRow(nt(5, 1, 2600, kWorkstation, VER_SUITE_SINGLEUSERTS, kX86), "Windows XP Professional");
}

TEST(EditionText, VersionFiveTwoBranches) {
    // The R2 metric wins over everything, also over the storage suite.
    expectNtRow(nt(5, 2, 3790, kServer, VER_SUITE_ENTERPRISE, kX86), "Windows Server 2003 R2, Enterprise", true);
    expectNtRow(nt(5, 2, 3790, kServer, VER_SUITE_STORAGE_SERVER, kX86), "Windows Server 2003 R2, Standard", true);
    expectNtRow(nt(5, 2, 3790, kServer, VER_SUITE_STORAGE_SERVER, kX86), "Windows Storage Server 2003 Standard");
    // The storage name needs the suite mask to be exactly the storage bit.
    expectNtRow(nt(5, 2, 3790, kServer, VER_SUITE_STORAGE_SERVER | VER_SUITE_ENTERPRISE, kX86),
                "Windows Server 2003, Enterprise");
    expectNtRow(nt(5, 2, 3790, kWorkstation, 0, kX64), "Windows XP Professional x64 ");
    expectNtRow(nt(5, 2, 3790, kWorkstation, VER_SUITE_ENTERPRISE, kX86), "Windows Server 2003, ");

    expectNtRow(nt(5, 2, 3790, kServer, VER_SUITE_DATACENTER | VER_SUITE_ENTERPRISE, kIa64),
                "Windows Server 2003, Datacenter  for IA64");
    expectNtRow(nt(5, 2, 3790, kServer, VER_SUITE_ENTERPRISE, kIa64), "Windows Server 2003, Enterprise  for IA64");
    expectNtRow(nt(5, 2, 3790, kServer, VER_SUITE_BLADE, kIa64), "Windows Server 2003, ");

    expectNtRow(nt(5, 2, 3790, kServer, VER_SUITE_DATACENTER | VER_SUITE_ENTERPRISE, kX64),
                "Windows Server 2003, Datacenter x64");
    expectNtRow(nt(5, 2, 3790, kServer, VER_SUITE_ENTERPRISE, kX64), "Windows Server 2003, Enterprise x64");
    expectNtRow(nt(5, 2, 3790, kDomainController, VER_SUITE_BLADE, kX64), "Windows Server 2003, Standard x64");

    expectNtRow(nt(5, 2, 3790, kServer, VER_SUITE_COMPUTE_SERVER | VER_SUITE_DATACENTER, kX86),
                "Windows Server 2003, Compute Cluster");
    expectNtRow(nt(5, 2, 3790, kServer, VER_SUITE_DATACENTER | VER_SUITE_ENTERPRISE, kX86),
                "Windows Server 2003, Datacenter");
    expectNtRow(nt(5, 2, 3790, kServer, VER_SUITE_ENTERPRISE | VER_SUITE_BLADE, kX86),
                "Windows Server 2003, Enterprise");
    expectNtRow(nt(5, 2, 3790, kServer, VER_SUITE_BLADE, kX86), "Windows Server 2003, Web");
    expectNtRow(nt(5, 2, 3790, kServer, 0, kX86), "Windows Server 2003, Standard");
}

TEST(EditionText, VistaAndSevenWithProductNumbers) {
    expectNtRow(nt(6, 0, 6002, kWorkstation, 0, kX86, 3), "Windows Vista Home Premium, 32-bit");
    expectNtRow(nt(6, 0, 6002, kServer, 0, kX64, 8), "Windows Server 2008 Datacenter, 64-bit");
    expectNtRow(nt(6, 0, 6002, kServer, 0, kIa64, 15), "Windows Server 2008 Enterprise IA64");
    expectNtRow(nt(6, 1, 7601, kWorkstation, 0, kX64, 1), "Windows 7 Ultimate, 64-bit");
    expectNtRow(nt(6, 1, 7601, kServer, 0, kX64, 7), "Windows Server 2008 R2 Standard, 64-bit");
    // A number outside the table adds no edition but keeps the architecture.
    expectNtRow(nt(6, 1, 7601, kWorkstation, 0, kX64, 0x30), "Windows 7 , 64-bit");
    expectNtRow(nt(6, 1, 7601, kWorkstation, 0, kX86, 5), "Windows 7 , 32-bit");
    expectNtRow(nt(6, 1, 7601, kWorkstation, 0, kX86, 0), "Windows 7 , 32-bit");

    const struct {
        DWORD number;
        const char* edition;
    } table[] = {{1, "Ultimate"},          {2, "Home Basic"},        {3, "Home Premium"},
                 {4, "Enterprise"},        {6, "Business"},          {7, "Standard"},
                 {8, "Datacenter"},        {9, "SmB Server"},        {10, "Enterprise"},
                 {11, "Starter"},          {12, "Datacenter (core)"}, {13, "Standard (core)"},
                 {14, "Enterprise (core)"}, {15, "Enterprise IA64"},  {16, ""},
                 {17, "Web Server"},       {18, "Cluster Server"},   {19, ""},
                 {25, "SmB Server Premium"}, {26, ""}};
    for (const auto& row : table) {
        SCOPED_TRACE(row.number);
        EXPECT_EQ(ansiText(nt(6, 1, 7600, kWorkstation, 0, kX86, row.number)),
                  std::string("Windows 7 ") + row.edition + ", 32-bit (build 7600)");
    }
}

TEST(EditionText, LaterThanSeven) {
    // The one Chinese phrase: GBK bytes in the restore program's form.
    const std::string later = "Windows 7 \xD2\xD4\xBA\xF3\xB0\xE6\xB1\xBE";
    EXPECT_EQ(ansiText(nt(6, 2, 9200, kWorkstation, 0, kX64, 0x30)), later + ", 64-bit (build 9200)");
    EXPECT_EQ(wideText(nt(6, 2, 9200, kWorkstation, 0, kX64, 0x30)), L"Windows 7 以后版本, 64-bit (build 9200)");
    EXPECT_EQ(ansiText(nt(6, 3, 9600, kServer, 0, kX86, 4, "SP9")), later + "Enterprise, 32-bit SP9 (build 9600)");
    // Above 6 there is neither an edition nor an architecture.
    EXPECT_EQ(wideText(nt(10, 0, 19045, kWorkstation, 0, kX64, 48)), L"Windows 7 以后版本 (build 19045)");
    EXPECT_EQ(wideText(nt(10, 0, 19045, kWorkstation, 0, kX64, 48, "Service Pack 1")),
              L"Windows 7 以后版本 Service Pack 1 (build 19045)");
}

TEST(EditionText, ExamplesAsWhole) {
    EXPECT_EQ(ansiText(nt(5, 1, 2600, kWorkstation, 0x100, kX86, 0, "Service Pack 3")),
              "Windows XP Professional Service Pack 3 (build 2600)");
    EXPECT_EQ(ansiText(nt(6, 1, 7601, kWorkstation, 0x100, kX64, 1, "Service Pack 1")),
              "Windows 7 Ultimate, 64-bit Service Pack 1 (build 7601)");
    EXPECT_EQ(ansiText(nt(5, 2, 3790, kWorkstation, 0x100, kX64, 0, "Service Pack 2")),
              "Windows XP Professional x64  Service Pack 2 (build 3790)");
    EXPECT_EQ(ansiText(nt(5, 2, 3790, kServer, VER_SUITE_ENTERPRISE, kX86, 0, "Service Pack 2"), true),
              "Windows Server 2003 R2, Enterprise Service Pack 2 (build 3790)");
    EXPECT_EQ(ansiText(nt(5, 0, 2195, kWorkstation, 0, kX86, 0, "Service Pack 4")),
              "Windows 2000 Professional Service Pack 4 (build 2195)");
    EXPECT_EQ(ansiText(nt(5, 1, 2600, kWorkstation, VER_SUITE_PERSONAL, kX86, 0, "Service Pack 2")),
              "Windows XP Home Service Pack 2 (build 2600)");
}

TEST(EditionText, StoredRecordLayout) {
    // A stored OSINFO of an XP machine (172 bytes, hex): the fields land where they must.
    const char* stored =
        "9C0000000500000001000000280A00000200000053657276696365205061636B2033000000000000000000000000"
        "00000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000"
        "00000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000"
        "000000000000000000000300000000010100000000000000000000000000000000009E";
    const OsInfoRecord r = fromHex(stored);
    EXPECT_EQ(info_tests::structHex(&r, sizeof(r)), stored);
    EXPECT_EQ(r.versionInfoSize, 156u);
    EXPECT_EQ(r.buildNumber, 2600u);
    EXPECT_EQ(r.servicePackMajor, 3);
    EXPECT_EQ(r.suiteMask, 0x100);
    EXPECT_EQ(r.productType, 1);
    EXPECT_EQ(r.architecture, 0);
    EXPECT_EQ(ansiText(r), "Windows XP Professional Service Pack 3 (build 2600)");
}

TEST(EditionText, ServicePackTextIsReadOnlyWithinItsField) {
    // A record from a file may lack the terminator: the text stops at the field's end.
    OsInfoRecord r = nt(5, 1, 2600, kWorkstation, 0, kX86);
    memset(r.csdVersion, 'x', sizeof(r.csdVersion));
    r.servicePackMajor = 0x4141;
    std::string text = ansiText(r);
    EXPECT_EQ(text, "Windows XP Professional " + std::string(128, 'x') + " (build 2600)");
    EXPECT_EQ(toUtf8(wideText(r)), text);
}

TEST(EditionText, ServicePackTextIsConvertedFromTheAnsiCodePage) {
    // "服务包 3" in GBK: the backup program shows it as wide text.
    OsInfoRecord r = nt(5, 1, 2600, kWorkstation, 0, kX86, 0, "\xB7\xFE\xCE\xF1\xB0\xFC 3");
    EXPECT_EQ(wideText(r), L"Windows XP Professional 服务包 3 (build 2600)");
    EXPECT_EQ(ansiText(r), "Windows XP Professional \xB7\xFE\xCE\xF1\xB0\xFC 3 (build 2600)");
}

TEST(EditionQuery, RecordOfTheRunningSystem) {
    std::wstring text;
    OsInfoRecord record;
    memset(&record, 0xCC, sizeof(record));
    ASSERT_TRUE(identifyWindows(text, record));

    OSVERSIONINFOEXA version = {};
    version.dwOSVersionInfoSize = sizeof(version);
    ASSERT_TRUE(GetVersionExA(reinterpret_cast<OSVERSIONINFOA*>(&version)));
    EXPECT_EQ(memcmp(&record, &version, 156), 0);
    SYSTEM_INFO info;
    GetNativeSystemInfo(&info);
    EXPECT_EQ(record.architecture, info.wProcessorArchitecture);
    for (unsigned char b : record.zero) EXPECT_EQ(b, 0);
    if (record.majorVersion == 6) {
        DWORD product = 0;
        ASSERT_TRUE(GetProductInfo(6, 0, 0, 0, &product));
        EXPECT_EQ(record.productNumber, product);
    } else {
        EXPECT_EQ(record.productNumber, 0u);
    }
    EXPECT_EQ(text, wideText(record));
}

TEST(EditionQuery, RoundTripThroughAStoredRecord) {
    std::wstring wide;
    OsInfoRecord record;
    ASSERT_TRUE(identifyWindows(wide, record));
    ASSERT_FALSE(wide.empty());

    // The restore program's query gives the same record and text.
    std::string queried;
    OsInfoRecord queriedRecord;
    ASSERT_TRUE(identifyWindowsA(queried, queriedRecord, IdentifyMode::Query));
    EXPECT_EQ(memcmp(&record, &queriedRecord, sizeof(record)), 0);
    EXPECT_EQ(fromAnsi(queried), wide);

    // From the stored record, without asking the system.
    OsInfoRecord stored = record;
    std::string derived = "stale";
    ASSERT_TRUE(identifyWindowsA(derived, stored, IdentifyMode::FromRecord));
    EXPECT_EQ(fromAnsi(derived), wide);
    EXPECT_EQ(memcmp(&stored, &record, sizeof(record)), 0);

    // A stored record of another machine gives that machine's text.
    OsInfoRecord other = nt(5, 1, 2600, kWorkstation, 0, kX86, 0, "Service Pack 3");
    ASSERT_TRUE(identifyWindowsA(derived, other, IdentifyMode::FromRecord));
    EXPECT_EQ(derived, "Windows XP Professional Service Pack 3 (build 2600)");
}
