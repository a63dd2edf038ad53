// A network label printer that needs no hardware: it listens on a loopback
// address of its own, takes jobs on port 9100, answers status requests on
// port 59100 ("ready") and call-backs with "PN", and writes the label of each
// job it receives as a BMP file a person can open.
//
//   mklabel_virtual_printer OUTPUT-DIR [--ready FILE] [--lifetime SECONDS]
//
// Its address goes to standard output and, once it listens, to the ready
// file. It stops on SIGINT or SIGTERM, or by itself when its lifetime (60 s
// unless given) is over, after saving every job it has received.
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <optional>
#include <string>
#include <vector>

#include "support/fake_net_printer.h"
#include "support/print_job_reader.h"

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

constexpr int kDefaultLifetimeSeconds = 60;
constexpr int kMaxLifetimeSeconds = 3600;
constexpr int kImageDpi = 203;  // the job does not say; only the file's stated size depends on it

volatile std::sig_atomic_t stopRequested = 0;

void requestStop(int) { stopRequested = 1; }

struct Options {
    fs::path outputDir;
    std::optional<fs::path> readyFile;
    int lifetimeSeconds = kDefaultLifetimeSeconds;
};

std::optional<Options> parseOptions(int argc, char** argv) {
    Options options;
    for (int i = 1; i < argc; ++i) {
        const std::string argument = argv[i];
        if (argument == "--ready" && i + 1 < argc) {
            options.readyFile = argv[++i];
        } else if (argument == "--lifetime" && i + 1 < argc) {
            options.lifetimeSeconds = std::atoi(argv[++i]);
            if (options.lifetimeSeconds < 1 || options.lifetimeSeconds > kMaxLifetimeSeconds) return std::nullopt;
        } else if (options.outputDir.empty() && argument.rfind("--", 0) != 0) {
            options.outputDir = argument;
        } else {
            return std::nullopt;
        }
    }
    if (options.outputDir.empty()) return std::nullopt;
    return options;
}

// Written under another name first, so a reader never sees half an address.
bool announceAddress(const fs::path& readyFile, const std::string& address) {
    const fs::path partial = readyFile.string() + ".partial";
    {
        std::ofstream file(partial, std::ios::trunc);
        file << address << "\n";
        if (!file.flush()) return false;
    }
    std::error_code error;
    fs::rename(partial, readyFile, error);
    return !error;
}

// A confirmed job starts with the command that tells the printer where to
// call back; the label follows it.
std::string_view withoutCallbackCommand(std::string_view job) {
    const std::size_t end = job.find("\r\n");
    if (job.rfind("NB", 0) == 0 && end != std::string_view::npos) job.remove_prefix(end + 2);
    return job;
}

// Reports one job and saves its label, if it carries one.
void takeJob(const std::string& bytes, int number, const fs::path& outputDir) {
    const std::optional<mk::test::ReceivedJob> job = mk::test::parsePrintJob(withoutCallbackCommand(bytes));
    if (!job) {
        std::printf("job %d: %zu bytes that are not a whole job\n", number, bytes.size());
        return;
    }
    if (job->graphic.empty()) {
        std::printf("job %d: %zu command lines, no label graphic (a blank page?)\n", number, job->lines.size());
        return;
    }
    const std::optional<mk::test::PcxPicture> picture = mk::test::decodePcx(job->graphic);
    if (!picture) {
        std::printf("job %d: its label graphic cannot be decoded\n", number);
        return;
    }
    const fs::path path = outputDir / ("label-" + std::to_string(number) + ".bmp");
    if (mk::test::savePictureAsBmp(*picture, path, kImageDpi)) {
        std::printf("job %d: label of %d x %d dots saved as %s\n", number, picture->width, picture->height,
                    path.c_str());
    } else {
        std::printf("job %d: cannot write %s\n", number, path.c_str());
    }
}

}  // namespace

int main(int argc, char** argv) {
    const std::optional<Options> options = parseOptions(argc, argv);
    if (!options) {
        std::fprintf(stderr, "usage: %s OUTPUT-DIR [--ready FILE] [--lifetime SECONDS (1 to %d)]\n", argv[0],
                     kMaxLifetimeSeconds);
        return 2;
    }
    std::error_code error;
    fs::create_directories(options->outputDir, error);
    if (error) {
        std::fprintf(stderr, "cannot create %s: %s\n", options->outputDir.c_str(), error.message().c_str());
        return 1;
    }
    std::signal(SIGINT, requestStop);
    std::signal(SIGTERM, requestStop);

    mk::test::FakeNetPrinter printer;
    printer.setCallbackAnswer("PN");
    std::printf("virtual printer listening on %s (jobs on port 9100, status on 59100)\n", printer.address().c_str());
    std::fflush(stdout);
    if (options->readyFile && !announceAddress(*options->readyFile, printer.address())) {
        std::fprintf(stderr, "cannot write %s\n", options->readyFile->c_str());
        return 1;
    }

    const auto deadline = Clock::now() + std::chrono::seconds(options->lifetimeSeconds);
    std::size_t taken = 0;
    for (;;) {
        const bool stopping = stopRequested != 0 || Clock::now() >= deadline;
        printer.waitForJobs(taken + 1, std::chrono::milliseconds(stopping ? 0 : 100));
        const std::vector<std::string> jobs = printer.jobs();
        for (; taken < jobs.size(); ++taken) takeJob(jobs[taken], static_cast<int>(taken) + 1, options->outputDir);
        std::fflush(stdout);
        if (stopping) break;
    }
    std::printf("virtual printer stopped after %zu job(s)\n", taken);
    return 0;
}
