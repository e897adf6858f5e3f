// rizuzez-cli: the headless companion of the window (replay, info, export, render, run, serve).
#include "cli/options.h"

#include <cstdio>
#include <cstring>
#include <exception>
#include <string>
#include <vector>

namespace rizuzez::cli {
int replayCommand(const std::vector<std::string>& args);
int infoCommand(const std::vector<std::string>& args);
int exportCommand(const std::vector<std::string>& args);
int renderCommand(const std::vector<std::string>& args);
int runCommand(const std::vector<std::string>& args);
int serveCommand(const std::vector<std::string>& args);
} // namespace rizuzez::cli

namespace {

struct Entry {
    const char* name;
    rizuzez::cli::Command run;
    const char* summary;
};

const Entry Commands[] = {
    {"replay", &rizuzez::cli::replayCommand, "decode recorded base-station text into a plot"},
    {"info", &rizuzez::cli::infoCommand, "summarise a plot file"},
    {"export", &rizuzez::cli::exportCommand, "write the coverage outline for maps"},
    {"render", &rizuzez::cli::renderCommand, "draw the radar plot as a PNG picture"},
    {"run", &rizuzez::cli::runCommand, "run the station as a headless service"},
    {"serve", &rizuzez::cli::serveCommand,
     "serve recorded or generated base-station text on a port"},
};

void usage(std::FILE* out) {
    std::fprintf(out, "usage: rizuzez-cli COMMAND [options]   (rizuzez-cli COMMAND --help)\n\n");
    for (const Entry& e : Commands) {
        std::fprintf(out, "  %-8s %s\n", e.name, e.summary);
    }
}

} // namespace

int main(int argc, char** argv) {
    if (argc < 2 || std::strcmp(argv[1], "--help") == 0 || std::strcmp(argv[1], "-h") == 0) {
        usage(argc < 2 ? stderr : stdout);
        return argc < 2 ? 2 : 0;
    }
    const std::vector<std::string> args(argv + 2, argv + argc);
    for (const Entry& e : Commands) {
        if (std::strcmp(argv[1], e.name) == 0) {
            try {
                return e.run(args);
            } catch (const rizuzez::cli::UsageError& err) {
                std::fprintf(stderr, "rizuzez-cli %s: %s\n", e.name, err.what());
                return 2;
            } catch (const std::exception& err) {
                std::fprintf(stderr, "rizuzez-cli %s: %s\n", e.name, err.what());
                return 2;
            }
        }
    }
    std::fprintf(stderr, "rizuzez-cli: unknown command '%s' (try --help)\n", argv[1]);
    return 2;
}
