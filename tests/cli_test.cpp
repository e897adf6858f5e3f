// The headless tool as operators run it: the built rizuzez-cli on real files in a temporary folder.
#include "coverage/plotdata.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <limits>
#include <sstream>
#include <string>
#include <sys/wait.h>
#include <vector>

using namespace rizuzez;
namespace fs = std::filesystem;

namespace {

const std::string Sicily = std::string(RIZUZEZ_SOURCE_DIR) + "/samples/modes1_sicily.sbs";

std::string readAll(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream ss;
    ss << in.rdbuf();
    return ss.str();
}

std::string shellQuoted(const std::string& s) {
    std::string out = "'";
    for (char c : s) {
        out += c == '\'' ? std::string("'\\''") : std::string(1, c);
    }
    return out + "'";
}

struct Outcome {
    int status = -1;
    std::string out, err;
};

class Cli : public ::testing::Test {
protected:
    void SetUp() override {
        dir = fs::temp_directory_path() /
              ("rizuzez_cli_" + std::to_string(::getpid()) + "_" +
               ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(dir);
        fs::create_directories(dir);
    }
    void TearDown() override { fs::remove_all(dir); }

    // Runs rizuzez-cli with the arguments ("@data" stands for a data folder inside dir).
    Outcome run(std::vector<std::string> args, const std::string& stdinFile = "") {
        std::string cmd = shellQuoted(RIZUZEZ_CLI);
        for (std::string& a : args) {
            if (a == "@data") {
                a = (dir / "data").string();
            }
            cmd += " " + shellQuoted(a);
        }
        cmd += " >" + shellQuoted((dir / "out").string()) + " 2>" +
               shellQuoted((dir / "err").string());
        if (!stdinFile.empty()) {
            cmd += " <" + shellQuoted(stdinFile);
        }
        const int raw = std::system(cmd.c_str());
        Outcome r;
        r.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
        r.out = readAll(dir / "out");
        r.err = readAll(dir / "err");
        return r;
    }

    void write(const std::string& name, const std::string& bytes) {
        std::ofstream(dir / name, std::ios::binary) << bytes;
    }

    fs::path dir;
};

TEST_F(Cli, ReplayPrintsASummaryAndWritesThePlot) {
    const Outcome r =
        run({"replay", "--lat", "37.50", "--lon", "15.07", "--data-dir", "@data", Sicily});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.out.find("Position messages: 87 (ignored beyond 999 NM: 0)"), std::string::npos)
        << r.out;
    EXPECT_NE(r.out.find("Band 2 (20,000-29,999 ft):   9 bearings"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("Furthest contact: 4D2023 at 66.4 NM"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("Plot saved to"), std::string::npos) << r.out;
    EXPECT_EQ(r.err, "");
    EXPECT_EQ(fs::file_size(dir / "data" / "rizuzez1.dat"), PlotTableBytes);
    EXPECT_EQ(fs::file_size(dir / "data" / "rizuzez1.max"), MaxDistanceBytes);
    EXPECT_EQ(readAll(dir / "data" / "rizuzez1.hex"), "4D2023\r\n");
}

TEST_F(Cli, ReplayJsonMatchesTheWrittenFiles) {
    // The same capture from a file and from standard input.
    for (const bool fromStdin : {false, true}) {
        const Outcome r = fromStdin ? run({"replay", "--lat", "37.50", "--lon", "15.07",
                                           "--data-dir", "@data", "--json", "-"},
                                          Sicily)
                                    : run({"replay", "--lat", "37.50", "--lon", "15.07",
                                           "--data-dir", "@data", "--json", Sicily});
        ASSERT_EQ(r.status, 0) << r.err;
        const nlohmann::json j = nlohmann::json::parse(r.out);
        EXPECT_EQ(j.at("total_msgs"), 87);
        EXPECT_EQ(j.at("ignored_msgs"), 0);
        EXPECT_EQ(j.at("mode_s_id"), "4D2023");

        const std::string dat = readAll(dir / "data" / "rizuzez1.dat");
        ASSERT_EQ(dat.size(), PlotTableBytes);
        PlotTable table;
        std::memcpy(&table, dat.data(), sizeof table);
        int filled = 0;
        for (const auto& band : table) {
            for (const TPlotPoint& c : band) {
                filled += c.Dist > 0.0;
            }
        }
        EXPECT_EQ(j.at("cells_filled"), filled);
        EXPECT_EQ(filled, 9);

        const std::string max = readAll(dir / "data" / "rizuzez1.max");
        ASSERT_EQ(max.size(), MaxDistanceBytes);
        TMaxDistance m;
        std::memcpy(&m, max.data(), sizeof m);
        const nlohmann::json& jm = j.at("max");
        EXPECT_EQ(jm.at("dist").get<double>(), m.Dist); // printed to the last bit
        EXPECT_EQ(jm.at("trk").get<double>(), m.Trk);
        EXPECT_EQ(jm.at("lat").get<double>(), m.Lat);
        EXPECT_EQ(jm.at("lon").get<double>(), m.Lon);
        EXPECT_EQ(jm.at("alt").get<double>(), m.Alt);
        EXPECT_NEAR(m.Dist, 66.4, 0.05);
    }
}

struct UsageCase {
    const char* name;
    std::vector<std::string> args; // "@missing" is a file that does not exist
    const char* message;           // part of the one line on stderr
};

const UsageCase UsageCases[] = {
    {"unknown_option",
     {"replay", "--data-dir", "@data", "--lat", "1", "--lon", "2", "--bogus", "x.sbs"},
     "unknown option --bogus"},
    {"missing_lat",
     {"replay", "--data-dir", "@data", "--lon", "15.07", "x.sbs"},
     "--lat and --lon are required"},
    {"missing_lon",
     {"replay", "--data-dir", "@data", "--lat", "37.5", "x.sbs"},
     "--lat and --lon are required"},
    {"latitude_not_a_number",
     {"replay", "--data-dir", "@data", "--lat", "north", "--lon", "15", "x.sbs"},
     "--lat: not a number"},
    {"option_without_value",
     {"replay", "--data-dir", "@data", "--lat"},
     "option --lat needs a value"},
    {"filter_not_a_distance",
     {"replay", "--data-dir", "@data", "--lat", "1", "--lon", "2", "--filter", "-5", "x.sbs"},
     "--filter"},
    {"no_input",
     {"replay", "--data-dir", "@data", "--lat", "37.5", "--lon", "15.07"},
     "no input file"},
    {"unreadable_input",
     {"replay", "--data-dir", "@data", "--lat", "37.5", "--lon", "15.07", Sicily.c_str(),
      "@missing"},
     "cannot read"},
    {"directory_as_input",
     {"replay", "--data-dir", "@data", "--lat", "37.5", "--lon", "15.07", "/"},
     "cannot read /"},
    {"unreadable_blacklist",
     {"replay", "--data-dir", "@data", "--lat", "37.5", "--lon", "15.07", "--blacklist", "@missing",
      Sicily.c_str()},
     "cannot read the blacklist"},
    {"info_unreadable", {"info", "@missing"}, "cannot read"},
    {"info_two_files", {"info", "a.dat", "b.dat"}, "one plot file at most"},
    {"unknown_command", {"replot"}, "unknown command 'replot'"},
};

class Usage : public Cli, public ::testing::WithParamInterface<UsageCase> {};

TEST_P(Usage, ExitsWithStatus2AndOneLineOnStderr) {
    std::vector<std::string> args = GetParam().args;
    for (std::string& a : args) {
        if (a == "@missing") {
            a = (dir / "no such file.sbs").string();
        }
    }
    const Outcome r = run(args);
    EXPECT_EQ(r.status, 2);
    EXPECT_EQ(r.out, "");
    EXPECT_NE(r.err.find(GetParam().message), std::string::npos) << r.err;
    ASSERT_FALSE(r.err.empty());
    EXPECT_EQ(r.err.find('\n'), r.err.size() - 1) << r.err; // exactly one line
    // A failed command writes no plot: every input is opened before anything is decoded.
    EXPECT_FALSE(fs::exists(dir / "data" / "rizuzez1.dat"));
}

INSTANTIATE_TEST_SUITE_P(Cli, Usage, ::testing::ValuesIn(UsageCases),
                         [](const auto& p) { return std::string(p.param.name); });

struct InfoCase {
    const char* name;
    int status;
    std::vector<const char*> lines; // expected among the output lines
};

// The .dat beside a good .max and .hex: as the replay wrote it, cut short, or with a NaN.
const InfoCase InfoCases[] = {
    {"good",
     0,
     {": ok", "Band 2 (20,000-29,999 ft):   9 bearings filled, furthest 66.4 NM at 241",
      "Furthest contact: 4D2023 66.4 NM, track 241.0", "Damaged: no"}},
    {"short", 1, {": damaged (too short)", "Furthest contact: 4D2023", "Damaged: yes"}},
    {"nan", 1, {": damaged (NaN, infinite or negative values)", "Damaged: yes"}},
};

class Info : public Cli, public ::testing::WithParamInterface<InfoCase> {};

TEST_P(Info, SummarisesAndFlagsDamage) {
    const InfoCase& c = GetParam();
    ASSERT_EQ(
        run({"replay", "--lat", "37.50", "--lon", "15.07", "--data-dir", "@data", Sicily}).status,
        0);
    const fs::path dat = dir / "data" / "rizuzez1.dat";
    std::string bytes = readAll(dat);
    if (std::string(c.name) == "short") {
        bytes.resize(1000);
    } else if (std::string(c.name) == "nan") {
        const double nan = std::numeric_limits<double>::quiet_NaN();
        std::memcpy(&bytes[(2 * 360 + 100) * 24 + 8], &nan, sizeof nan); // band 2, 100: Lat
    }
    std::ofstream(dat, std::ios::binary | std::ios::trunc) << bytes;

    const Outcome r = run({"info", dat.string()});
    EXPECT_EQ(r.status, c.status) << r.out << r.err;
    for (const char* line : c.lines) {
        EXPECT_NE(r.out.find(line), std::string::npos) << line << "\n" << r.out;
    }
    EXPECT_EQ(r.err, "");
}

INSTANTIATE_TEST_SUITE_P(Cli, Info, ::testing::ValuesIn(InfoCases),
                         [](const auto& p) { return std::string(p.param.name); });

} // namespace
