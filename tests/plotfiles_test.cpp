// Plot files in a real temporary folder: names, byte images, questions, damage and atomicity.
#include "coverage/plotfiles.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>

using namespace rizuzez;
namespace fs = std::filesystem;

namespace {

struct Answers final : PlotFileQuestions {
    bool reload = true;
    std::optional<std::string> chosen;
    int asked = 0;
    bool confirmReload() override {
        ++asked;
        return reload;
    }
    std::optional<std::string> choosePlotFile(const std::string&) override { return chosen; }
};

class PlotFiles : public ::testing::Test {
protected:
    void SetUp() override {
        dir = fs::temp_directory_path() /
              ("rizuzez_plot_" + std::to_string(::testing::UnitTest::GetInstance()->random_seed()) +
               "_" + ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(dir);
        fs::create_directories(dir);
        for (int b = 0; b < BandCount; ++b)
            for (int i = 0; i < BearingCount; ++i)
                sample.PlotData[b][i] = {b * 100.0 + i * 0.25, 50.0 + i * 0.01, -3.0 + b};
        sample.MaxDistance = {389.75, 212.3, 49.1, -2.0, 39999.0};
        sample.texts.Edit10 = "4CA1D5";
    }
    void TearDown() override { fs::remove_all(dir); }
    std::string bytes(const std::string& name) {
        std::ifstream in(dir / name, std::ios::binary);
        std::stringstream ss;
        ss << in.rdbuf();
        return ss.str();
    }
    void write(const std::string& name, const std::string& data) {
        std::ofstream(dir / name, std::ios::binary) << data;
    }
    fs::path dir;
    Coverage sample;
    const LocalDateTime when{2011, 5, 6, 14, 30, 59, 0};
};

TEST_F(PlotFiles, NamesByMode) {
    EXPECT_EQ(plotFilePrefix("", when), "rizuzez1.");
    EXPECT_EQ(plotFilePrefix("date", when), "rizuzez1.2011-05-06.");
    EXPECT_EQ(plotFilePrefix("time", when), "rizuzez1.2011-05-06.14-30.");
}

TEST_F(PlotFiles, SaveWritesByteImagesAndHexLine) {
    const SaveResult r = SavePlotFiles(sample, dir.string(), "", when);
    EXPECT_EQ(r.written.size(), 3u);
    EXPECT_TRUE(r.failed.empty());
    EXPECT_EQ(bytes("rizuzez1.dat"),
              std::string(reinterpret_cast<const char*>(&sample.PlotData), 34560));
    EXPECT_EQ(bytes("rizuzez1.max"),
              std::string(reinterpret_cast<const char*>(&sample.MaxDistance), 40));
    EXPECT_EQ(bytes("rizuzez1.hex"), "4CA1D5\r\n");
    sample.texts.Edit10.clear();
    SavePlotFiles(sample, dir.string(), "", when);
    EXPECT_EQ(bytes("rizuzez1.hex"), "\r\n");
    for (const auto& e : fs::directory_iterator(dir)) // no temporary files left behind
        EXPECT_NE(e.path().extension(), ".tmp") << e.path();
}

TEST_F(PlotFiles, FailedSaveKeepsTheOldFile) {
    SavePlotFiles(sample, dir.string(), "", when);
    const std::string old = bytes("rizuzez1.dat");
    fs::create_directory(dir / "rizuzez1.dat.tmp"); // the temporary cannot be created
    Coverage other;
    const SaveResult r = SavePlotFiles(other, dir.string(), "", when);
    EXPECT_EQ(r.failed.size(), 1u);
    EXPECT_EQ(bytes("rizuzez1.dat"), old);
    EXPECT_EQ(bytes("rizuzez1.max"), std::string(40, '\0')); // the others were still written
}

TEST_F(PlotFiles, DefaultLoadAsksAndRoundTrips) {
    SavePlotFiles(sample, dir.string(), "", when);
    Coverage c;
    Answers no;
    no.reload = false;
    EXPECT_TRUE(LoadPlotFiles(c, dir.string(), "", no).declined);
    EXPECT_EQ(c.PlotData[1][1].Dist, 0.0);
    Answers yes;
    const LoadResult r = LoadPlotFiles(c, dir.string(), "", yes);
    EXPECT_TRUE(r.datLoaded && r.maxLoaded && r.hexLoaded);
    EXPECT_EQ(std::memcmp(&c.PlotData, &sample.PlotData, sizeof(PlotTable)), 0);
    EXPECT_EQ(c.texts, (ContactTexts{"49.10", "-2.00", "39999", "389.8", "212.3", "4CA1D5"}));
}

TEST_F(PlotFiles, NoDefaultPlotAsksNothing) {
    Coverage c;
    Answers a;
    const LoadResult r = LoadPlotFiles(c, dir.string(), "", a);
    EXPECT_FALSE(r.found);
    EXPECT_EQ(a.asked, 0);
}

TEST_F(PlotFiles, ChosenFileNameRules) {
    SavePlotFiles(sample, dir.string(), "date", when);
    SavePlotFiles(sample, dir.string(), "", when);
    struct Case {
        const char* chosen;
        bool loads;
    } cases[] = {
        {"/elsewhere/rizuzez1.2011-05-06.max", true}, // only the name counts
        {"rizuzez1.max", true},                       // default plot, no question
        {"PLOT.MAX", false},                          // capitals are not reduced
        {"/tmp/unknown.max", false},
    };
    for (const Case& c : cases) {
        Coverage cov;
        Answers a;
        a.chosen = c.chosen;
        const LoadResult r = LoadPlotFiles(cov, dir.string(), "date", a);
        EXPECT_EQ(r.datLoaded, c.loads) << c.chosen;
        EXPECT_EQ(a.asked, 0) << c.chosen;
    }
    Coverage cov;
    Answers cancel;
    EXPECT_FALSE(LoadPlotFiles(cov, dir.string(), "date", cancel).found);
}

TEST_F(PlotFiles, DamagedFilesAreSkippedNotHalfLoaded) {
    const std::string good(reinterpret_cast<const char*>(&sample.PlotData), 34560);
    std::string nanCell = good;
    const double nan = std::nan("");
    std::memcpy(nanCell.data() + 24 * 7, &nan, 8);
    std::string negative = good;
    const double minus = -1.0;
    std::memcpy(negative.data() + 24 * 9, &minus, 8);
    struct Case {
        const char* name;
        std::string dat;
        bool loads;
    } cases[] = {
        {"short", good.substr(0, 34559), false},
        {"nan_distance", nanCell, false},
        {"negative_distance", negative, false},
        {"longer_reads_first_34560", good + "trailing", true},
    };
    for (const Case& c : cases) {
        write("rizuzez1.dat", c.dat);
        write("rizuzez1.max", std::string(reinterpret_cast<const char*>(&sample.MaxDistance), 40));
        Coverage cov;
        cov.PlotData[0][3].Dist = 7.0;
        Answers a;
        const LoadResult r = LoadPlotFiles(cov, dir.string(), "", a);
        EXPECT_EQ(r.datLoaded, c.loads) << c.name;
        EXPECT_EQ(r.datDamaged, !c.loads) << c.name;
        EXPECT_TRUE(r.maxLoaded) << c.name; // the .max step still runs
        EXPECT_EQ(cov.PlotData[0][3].Dist, c.loads ? sample.PlotData[0][3].Dist : 7.0) << c.name;
    }
}

TEST_F(PlotFiles, MissingOrDamagedMaxKeepsRecordButRewritesBoxes) {
    SavePlotFiles(sample, dir.string(), "", when);
    write("rizuzez1.max", std::string(39, 'x'));
    fs::remove(dir / "rizuzez1.hex");
    Coverage cov;
    cov.MaxDistance = {12.0, 1.0, 2.0, 3.0, 400.0};
    cov.texts.Edit10 = "KEEP";
    Answers a;
    const LoadResult r = LoadPlotFiles(cov, dir.string(), "", a);
    EXPECT_TRUE(r.maxDamaged);
    EXPECT_EQ(cov.MaxDistance.Dist, 12.0);
    EXPECT_EQ(cov.texts.Edit8, "12.0");
    EXPECT_EQ(cov.texts.Edit10, "KEEP");
}

} // namespace

// States a save killed at each step leaves behind, built from a real old and a real new set.
struct InterruptedCase {
    const char* name;
    bool marker;                   // killed after the commit point
    std::vector<std::string> tmp;  // new files still under their temporary names
    std::vector<std::string> done; // new files already renamed into place
    bool expectNew;                // what a load then reads
};

TEST_F(PlotFiles, InterruptedSaveIsFinishedOrForgottenAsAWhole) {
    const InterruptedCase cases[] = {
        {"killed_while_writing", false, {"dat", "max"}, {}, false},
        {"killed_before_commit", false, {"dat", "max", "hex"}, {}, false},
        {"killed_right_after_commit", true, {"dat", "max", "hex"}, {}, true},
        {"killed_between_renames", true, {"max", "hex"}, {"dat"}, true},
        {"killed_before_the_last_rename", true, {"hex"}, {"dat", "max"}, true},
        {"killed_before_removing_the_marker", true, {}, {"dat", "max", "hex"}, true},
    };
    Coverage fresh = sample;
    fresh.PlotData[2][7].Dist = 444.0;
    fresh.MaxDistance = {444.0, 7.0, 55.0, 1.0, 25000.0};
    fresh.texts.Edit10 = "400C7E";
    const fs::path newSet = dir / "new";
    fs::create_directories(newSet);
    SavePlotFiles(fresh, newSet.string(), "", when);

    for (const InterruptedCase& c : cases) {
        SavePlotFiles(sample, dir.string(), "", when); // the old set
        for (const std::string& ext : c.tmp)
            fs::copy_file(newSet / ("rizuzez1." + ext), dir / ("rizuzez1." + ext + ".tmp"),
                          fs::copy_options::overwrite_existing);
        for (const std::string& ext : c.done)
            fs::copy_file(newSet / ("rizuzez1." + ext), dir / ("rizuzez1." + ext),
                          fs::copy_options::overwrite_existing);
        if (c.marker)
            write("rizuzez1.commit", "");

        Coverage loaded;
        Answers yes;
        const LoadResult r = LoadPlotFiles(loaded, dir.string(), "", yes);
        const Coverage& expected = c.expectNew ? fresh : sample;
        EXPECT_EQ(r.completedInterruptedSave, c.marker) << c.name;
        EXPECT_TRUE(r.datLoaded && r.maxLoaded && r.hexLoaded) << c.name;
        EXPECT_EQ(std::memcmp(&loaded.PlotData, &expected.PlotData, PlotTableBytes), 0) << c.name;
        EXPECT_EQ(std::memcmp(&loaded.MaxDistance, &expected.MaxDistance, 40), 0) << c.name;
        EXPECT_EQ(loaded.texts.Edit10, expected.texts.Edit10) << c.name;
        EXPECT_FALSE(fs::exists(dir / "rizuzez1.commit")) << c.name;

        // The next save starts clean: nothing of the interrupted one rides along.
        SavePlotFiles(sample, dir.string(), "", when);
        for (const auto& e : fs::directory_iterator(dir))
            EXPECT_TRUE(e.is_directory() || (e.path().extension() != ".tmp" &&
                                             e.path().extension() != ".commit"))
                << c.name << ": " << e.path();
        EXPECT_EQ(bytes("rizuzez1.hex"), "4CA1D5\r\n") << c.name;
    }
}
