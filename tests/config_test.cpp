// The configuration file in a real folder: every reading rule of the key table, the
// write-back order, what survives a write, the fallback position file and failed writes.
#include "app/config.h"

#include "app_support.h"

#include <gtest/gtest.h>

#include <functional>
#include <unistd.h>

using namespace rizuzez;
using namespace rizuzez::testing;

namespace {

struct ReadCase {
    const char* name;
    std::string ini;                       // file content
    std::function<void(Settings&)> expect; // applied to the defaults
};

Settings defaultsWith(const std::function<void(Settings&)>& change) {
    Settings s;
    if (change) {
        change(s);
    }
    return s;
}

auto port(std::int32_t p) {
    return [p](Settings& s) {
        s.TelnetPort = p;
        s.port = std::to_string(p);
    };
}

AutoSaveSettings radio(bool none, bool h1, bool h6, bool h12, bool h24) {
    AutoSaveSettings a;
    a.Noautosave1 = none;
    a.Saveevery1hour1 = h1;
    a.Saveevery6hours1 = h6;
    a.Saveevery12hours1 = h12;
    a.Saveevery24hours1 = h24;
    return a;
}

const std::string LongText(3000, 'x');

const ReadCase ReadCases[] = {
    {"EmptyFile", "", nullptr},
    {"OtherSectionsOnly", "[telnet2]\nport=1\n", nullptr},
    {"NamesIgnoreCase", "[TELNET]\nIP=10.0.0.1\nPort=30005\n[HomeStation]\nLATITUDE=52.5\n",
     [](Settings& s) {
         s.ip = "10.0.0.1";
         port(30005)(s);
         s.latitude = "52.5";
     }},
    {"ValuesTrimmed", "[telnet]\nip =  host.example  \nport = 30010 \n",
     [](Settings& s) {
         s.ip = "host.example";
         port(30010)(s);
     }},
    {"EmptyTextIsEmpty", "[telnet]\nip=\n", [](Settings& s) { s.ip = ""; }},
    {"TextCutAt2047", "[homestation]\nlatitude=" + LongText + "\n",
     [](Settings& s) { s.latitude = std::string(2047, 'x'); }},
    {"PortDollarHex", "[telnet]\nport=$7531\n", port(30001)},
    {"Port0xHex", "[telnet]\nport=0x7532\n", port(30002)},
    {"Port0XHex", "[telnet]\nport=0X7534\n", port(30004)},
    {"PortSigned", "[telnet]\nport=+30011\n", port(30011)},
    {"PortNegative", "[telnet]\nport=-5\n", port(-5)},
    {"PortWord", "[telnet]\nport=abc\n", nullptr},
    {"PortTrailingJunk", "[telnet]\nport=12abc\n", nullptr},
    {"PortDecimalPoint", "[telnet]\nport=3.5\n", nullptr},
    {"PortEmpty", "[telnet]\nport=\n", nullptr},
    {"PortPrefixOnly", "[telnet]\nport=$\n", nullptr},
    {"Port0xOnly", "[telnet]\nport=0x\n", nullptr},
    {"PortHexWithoutPrefix", "[telnet]\nport=7531h\n", nullptr},
    {"PortBeyond32Bits", "[telnet]\nport=2147483648\n", nullptr},
    {"PortLowest32Bits", "[telnet]\nport=-2147483648\n", port(-2147483647 - 1)},
    {"WindowEdges", "[window]\ntop=-20\nleft=$10\n",
     [](Settings& s) {
         s.top = -20;
         s.left = 16;
     }},
    {"FilterIndex", "[filter]\nrange=13\n", [](Settings& s) { s.filterIndex = 13; }},
    {"FilterLastIndex", "[filter]\nrange=28\n", [](Settings& s) { s.filterIndex = 28; }},
    {"FilterIndexBeyondList", "[filter]\nrange=29\n", nullptr},
    {"FilterIndexNone", "[filter]\nrange=-1\n", nullptr},
    {"LogOne", "[filter]\nlogfile=1\n", [](Settings& s) { s.logfile = true; }},
    {"LogAnyInteger", "[filter]\nlogfile=-7\n", [](Settings& s) { s.logfile = true; }},
    {"LogHexZero", "[filter]\nlogfile=0x0\n", nullptr},
    {"LogWordTrue", "[filter]\nlogfile=true\n", nullptr},
    {"RangeAboveBar", "[display]\nrange=500\n", [](Settings& s) { s.displayRange = 360; }},
    {"RangeBelowBar", "[display]\nrange=10\n", [](Settings& s) { s.displayRange = 60; }},
    {"RangeOffStep", "[display]\nrange=75\n", [](Settings& s) { s.displayRange = 75; }},
    {"RangeWord", "[display]\nrange=far\n", nullptr},
    {"BandAboveBar", "[display]\nband=7\n", nullptr},
    {"BandBelowBar", "[display]\nband=-1\n", [](Settings& s) { s.band = 0; }},
    {"BandOne", "[display]\nband=1\n", [](Settings& s) { s.band = 1; }},
    {"OneHour", "[auto]\nevery1hr=1\n",
     [](Settings& s) { s.autoSave = radio(false, true, false, false, false); }},
    {"SixAndTwentyFourHours", "[auto]\nevery6hrs=1\nevery24hrs=1\n",
     [](Settings& s) { s.autoSave = radio(false, false, false, false, true); }},
    {"NothingChecked", "[auto]\nnoauto=0\nevery1hr=0\nevery6hrs=0\nevery12hrs=0\nevery24hrs=0\n",
     [](Settings& s) { s.autoSave = radio(false, false, false, false, false); }},
    {"NoautoZeroAlone", "[auto]\nnoauto=0\n",
     [](Settings& s) { s.autoSave = radio(false, false, false, false, false); }},
    {"IntervalZeroKeepsNoauto", "[auto]\nnoauto=1\nevery12hrs=0\n", nullptr},
    {"NoautoWordIsDefault", "[auto]\nnoauto=no\n", nullptr},
    {"Options", "[auto]\nsaveplotfile=0\nsaveoutfile=0\nclearonsave=1\n",
     [](Settings& s) {
         s.autoSave.Saveplotfile1 = false;
         s.autoSave.SaveOUTfile2 = false;
         s.autoSave.clear2 = true;
     }},
    {"CrLfLines", "[telnet]\r\nip=10.1.1.1\r\nport=30100\r\n",
     [](Settings& s) {
         s.ip = "10.1.1.1";
         port(30100)(s);
     }},
    {"Utf8Signature", "\xEF\xBB\xBF[telnet]\nip=10.2.2.2\n",
     [](Settings& s) { s.ip = "10.2.2.2"; }},
    {"CommentsIgnored", "; settings\n[telnet]\n;port=1\nport=30200\n", port(30200)},
    {"ReconnectOn", "[feed]\nreconnect=1\n", [](Settings& s) { s.reconnect = true; }},
    {"ReconnectWordIsDefault", "[feed]\nreconnect=yes\n", nullptr},
};

class ConfigRead : public ::testing::TestWithParam<ReadCase> {};

TEST_P(ConfigRead, ReadsKeyByKey) {
    TempDir dir;
    const fs::path ini = dir.path() / "rizuzez.ini";
    writeFile(ini, GetParam().ini);
    const SettingsRead r = readSettings(ini.string());
    EXPECT_EQ(r.file, IniFileState::Read);
    EXPECT_EQ(r.settings, defaultsWith(GetParam().expect));
}

INSTANTIATE_TEST_SUITE_P(Rules, ConfigRead, ::testing::ValuesIn(ReadCases),
                         [](const auto& p) { return std::string(p.param.name); });

TEST(Config, MissingOrUnreadableFileGivesDefaults) {
    TempDir dir;
    SettingsRead r = readSettings((dir.path() / "rizuzez.ini").string());
    EXPECT_EQ(r.file, IniFileState::Missing);
    EXPECT_EQ(r.settings, Settings{});
    EXPECT_EQ(r.settings.ip, "127.0.0.1");
    EXPECT_EQ(r.settings.TelnetPort, 30003);
    EXPECT_EQ(r.settings.port, "30003");
    EXPECT_EQ(r.settings.left, 100);
    EXPECT_EQ(r.settings.top, 100);
    EXPECT_EQ(filterEntryText(r.settings.filterIndex), "NEVER");
    EXPECT_FALSE(r.settings.logfile);
    EXPECT_EQ(r.settings.displayRange, 240);
    EXPECT_EQ(r.settings.band, 4);
    EXPECT_EQ(r.settings.autoSave, AutoSaveSettings{});

    fs::create_directories(dir.path() / "rizuzez.ini"); // a folder in the way
    r = readSettings((dir.path() / "rizuzez.ini").string());
    EXPECT_EQ(r.file, IniFileState::Unreadable);
    EXPECT_EQ(r.settings, Settings{});
}

TEST(Config, FilterList) {
    EXPECT_EQ(filterEntryText(0), "NEVER");
    EXPECT_EQ(filterEntryText(1), "180");
    EXPECT_EQ(filterEntryText(13), "300");
    EXPECT_EQ(filterEntryText(28), "450");
    EXPECT_EQ(filterRangeFromIndex(0), 999.0);
    EXPECT_EQ(filterRangeFromIndex(1), 180.0);
    EXPECT_EQ(filterRangeFromIndex(13), 300.0);
    EXPECT_EQ(filterRangeFromIndex(28), 450.0);
}

Settings sampleSettings() {
    Settings s;
    s.ip = "192.168.1.20";
    s.port = "30104";
    s.top = 12;
    s.left = -8;
    s.latitude = "37.50";
    s.longitude = "15.07";
    s.filterIndex = 13;
    s.logfile = true;
    s.displayRange = 120;
    s.band = 2;
    s.autoSave = radio(false, false, true, false, false);
    s.autoSave.SaveOUTfile2 = false;
    s.autoSave.clear2 = true;
    s.reconnect = true;
    return s;
}

TEST(Config, WritesTheTableInOrderWithoutNoauto) {
    TempDir dir;
    const fs::path ini = dir.path() / "rizuzez.ini";
    const ConfigWriteResult w = writeSettings(ini.string(), sampleSettings());
    ASSERT_TRUE(w.ok) << w.error;
    EXPECT_EQ(readFile(ini), "[telnet]\n"
                             "ip=192.168.1.20\n"
                             "port=30104\n"
                             "\n\n"
                             "[window]\n"
                             "top=12\n"
                             "left=-8\n"
                             "\n\n"
                             "[homestation]\n"
                             "latitude=37.50\n"
                             "longitude=15.07\n"
                             "\n\n"
                             "[filter]\n"
                             "range=13\n"
                             "logfile=1\n"
                             "\n\n"
                             "[display]\n"
                             "range=120\n"
                             "band=2\n"
                             "\n\n"
                             "[auto]\n"
                             "every1hr=0\n"
                             "every6hrs=1\n"
                             "every12hrs=0\n"
                             "every24hrs=0\n"
                             "saveplotfile=1\n"
                             "saveoutfile=0\n"
                             "clearonsave=1\n"
                             "\n\n"
                             "[feed]\n"
                             "reconnect=1\n");
    Settings expected = sampleSettings();
    expected.TelnetPort = 30104;
    EXPECT_EQ(readSettings(ini.string()).settings, expected);
}

TEST(Config, PortBoxIsWrittenAsTyped) {
    TempDir dir;
    const fs::path ini = dir.path() / "rizuzez.ini";
    Settings s;
    s.port = "30x03";
    ASSERT_TRUE(writeSettings(ini.string(), s).ok);
    EXPECT_NE(readFile(ini).find("port=30x03\n"), std::string::npos);
    EXPECT_EQ(readSettings(ini.string()).settings.TelnetPort, 30003);
}

TEST(Config, LineBreaksInTextCannotForgeKeys) {
    TempDir dir;
    const fs::path ini = dir.path() / "rizuzez.ini";
    Settings s;
    s.latitude = "52.5\n[telnet]\nport=1";
    ASSERT_TRUE(writeSettings(ini.string(), s).ok);
    const Settings back = readSettings(ini.string()).settings;
    EXPECT_EQ(back.latitude, "52.5");
    EXPECT_EQ(back.TelnetPort, 30003);
}

TEST(Config, UnknownKeysAndCommentsSurvive) {
    TempDir dir;
    const fs::path ini = dir.path() / "rizuzez.ini";
    writeFile(ini, "; Rizuzez settings, edited by hand\r\n"
                   "\r\n"
                   "[Telnet]\r\n"
                   "; the receiver in the loft\r\n"
                   "IP=10.0.0.5\r\n"
                   "colour=blue\r\n"
                   "[auto]\r\n"
                   "noauto=0\r\n"
                   "[mine]\r\n"
                   "x=1\r\n"
                   "; kept at the end\r\n");
    ASSERT_TRUE(writeSettings(ini.string(), sampleSettings()).ok);
    const std::string text = readFile(ini);
    for (const char* kept :
         {"; Rizuzez settings, edited by hand", "[Telnet]", "; the receiver in the loft",
          "IP=192.168.1.20", "colour=blue", "noauto=0", "[mine]", "x=1", "; kept at the end"}) {
        EXPECT_NE(text.find(kept), std::string::npos) << kept << "\n" << text;
    }
    EXPECT_EQ(text.find("10.0.0.5"), std::string::npos);
    EXPECT_EQ(text.find("[telnet]"), std::string::npos) << "section written twice";
    EXPECT_LT(text.find("[mine]"), text.find("; kept at the end"));
    // Written again, the file does not grow.
    ASSERT_TRUE(writeSettings(ini.string(), sampleSettings()).ok);
    EXPECT_EQ(readFile(ini), text);
    Settings expected = sampleSettings();
    expected.TelnetPort = 30104;
    EXPECT_EQ(readSettings(ini.string()).settings, expected);
}

TEST(Config, CommentOnlyFileKeepsItsComments) {
    TempDir dir;
    const fs::path ini = dir.path() / "rizuzez.ini";
    writeFile(ini, "; nothing here yet\n");
    ASSERT_TRUE(writeSettings(ini.string(), Settings{}).ok);
    const std::string text = readFile(ini);
    EXPECT_EQ(text.rfind("; nothing here yet\n", 0), 0u) << text;
    EXPECT_EQ(text.find("; nothing here yet", 1), std::string::npos) << text;
    EXPECT_EQ(readSettings(ini.string()).settings, Settings{});
}

TEST(Config, WritesThroughASymbolicLink) {
    TempDir dir;
    writeFile(dir.path() / "real.ini", "[mine]\nx=1\n");
    fs::create_symlink(dir.path() / "real.ini", dir.path() / "rizuzez.ini");
    ASSERT_TRUE(writeSettings((dir.path() / "rizuzez.ini").string(), sampleSettings()).ok);
    EXPECT_TRUE(fs::is_symlink(dir.path() / "rizuzez.ini"));
    EXPECT_NE(readFile(dir.path() / "real.ini").find("ip=192.168.1.20"), std::string::npos);
}

TEST(Config, FailedWriteLeavesTheFileAndSaysWhy) {
    TempDir dir;
    const fs::path ini = dir.path() / "rizuzez.ini";
    fs::create_directories(ini); // a folder in the way: fails for root as well
    ConfigWriteResult w = writeSettings(ini.string(), sampleSettings());
    EXPECT_FALSE(w.ok);
    EXPECT_FALSE(w.error.empty());
    EXPECT_TRUE(fs::is_directory(ini));
    fs::remove(ini);

    writeFile(ini, "[telnet]\nport=30001\n");
    fs::permissions(ini, fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read);
    w = writeSettings(ini.string(), sampleSettings());
    if (::geteuid() != 0) { // root writes read-only files
        EXPECT_FALSE(w.ok);
        EXPECT_NE(w.error.find("write-protected"), std::string::npos) << w.error;
        EXPECT_EQ(readFile(ini), "[telnet]\nport=30001\n");
    }
    for (const auto& e : fs::directory_iterator(dir.path())) {
        EXPECT_NE(e.path().extension(), ".tmp") << e.path();
    }
}

struct FallbackCase {
    const char* name;
    std::string config;      // rizuzez.ini
    const char* basestation; // nullptr: no such file
    const char* lat;
    const char* lon;
    bool applied;
};

const FallbackCase FallbackCases[] = {
    {"BothFromBasestation", "[homestation]\nlongitude=99\n",
     "[homestation]\nlatitude=37.5\nlongitude=15.07\n", "37.5", "15.07", true},
    {"SectionNameAnyCase", "", "[HomeStation]\nLatitude=51.1\nLongitude=-0.2\n", "51.1", "-0.2",
     true},
    {"OnlyLatitudeThere", "[homestation]\nlongitude=99\n", "[homestation]\nlatitude=37.5\n", "37.5",
     "", true},
    {"NoFileEmptiesBoth", "[homestation]\nlongitude=99\n", nullptr, "", "", true},
    {"ConfiguredLatitudeWins", "[homestation]\nlatitude=40\n",
     "[homestation]\nlatitude=37.5\nlongitude=15.07\n", "40", "", false},
};

class HomeFallback : public ::testing::TestWithParam<FallbackCase> {};

TEST_P(HomeFallback, OnlyAnEmptyLatitudeAsksTheFallback) {
    const FallbackCase& c = GetParam();
    TempDir dir;
    writeFile(dir.path() / "rizuzez.ini", c.config);
    if (c.basestation) {
        writeFile(dir.path() / "basestation.ini", c.basestation);
    }
    Settings s = readSettings(configPath(dir.str())).settings;
    EXPECT_EQ(applyHomeFallback(s, homeFallbackPath(dir.str())), c.applied);
    EXPECT_EQ(s.latitude, c.lat);
    EXPECT_EQ(s.longitude, c.lon);
}

INSTANTIATE_TEST_SUITE_P(Cases, HomeFallback, ::testing::ValuesIn(FallbackCases),
                         [](const auto& p) { return std::string(p.param.name); });

} // namespace
