#include "dataset_options.hpp"

#include <cerrno>
#include <climits>
#include <cstdlib>

#include "shell_words.hpp"

namespace dadimero {

namespace {

int wholeNumber(const std::string& option, const std::string& text) {
    char* end = nullptr;
    errno = 0;
    const long value = std::strtol(text.c_str(), &end, 10);
    if (text.empty() || *end != '\0' || errno != 0 || value < 1 || value > INT_MAX) {
        throw DatasetUsageError(option + " needs a whole number above 0, got '" + text + "'");
    }
    return static_cast<int>(value);
}

}  // namespace

const char* datasetUsage() {
    return "Usage: dadimero-dataset run [options] DATASET_ROOT OUTPUT_ROOT [-- DADI-MERO "
           "options...]\n"
           "       dadimero-dataset sweep (--grid \"OPTION V1,V2,...\"... | --settings FILE) "
           "[options]\n"
           "                              DATASET_ROOT OUTPUT_ROOT [-- DADI-MERO options...]\n"
           "\n"
           "run: DADI-MERO on every sequence under DATASET_ROOT (every directory holding\n"
           "input/; links to directories are followed, except in a loop), each in its own\n"
           "folder OUTPUT_ROOT/<path below DATASET_ROOT>, which receives the masks,\n"
           "DADI-MERO.options (the options that can change a mask), DADI-MERO.inputs (a\n"
           "fingerprint of the sequence's files), DADI-MERO.log and DADI-MERO.status (the\n"
           "exit code). Options after -- go to every run. A run is complete when its status\n"
           "is 0, every mask decodes whole, and its options and inputs are unchanged; a\n"
           "complete run is skipped, any other is run again from scratch, so a stopped start\n"
           "is resumed by starting it again. A sequence whose options and temporalROI.txt\n"
           "give no frame is not run and counted apart. Then the complete runs of sequences\n"
           "with groundtruth/ are scored, as evaluate-masks --dataset scores them, into\n"
           "OUTPUT_ROOT/scores.txt and scores.json (replaced only when both are complete).\n"
           "\n"
           "sweep: the same for every setting of a grid (--grid, the Cartesian product) or of\n"
           "a file (--settings, one setting a line), beside the options after --. Each\n"
           "setting runs into OUTPUT_ROOT/<setting>, named after its values (\"e2=0.004\"),\n"
           "with its own scores; OUTPUT_ROOT/sweep.txt, sweep.json and sweep.csv give every\n"
           "setting's scores per category and overall and the best setting of each,\n"
           "sweep.png plots the F-measure against one swept option, or as heat maps over two.\n"
           "Settings with failed runs are named and never compared.\n"
           "\n"
           "Engines (the same masks, records and scores; one may finish another's work):\n"
           "  this machine (default), -j N runs at once\n"
           "  --sshloginfile FILE  several machines over ssh with GNU parallel: one\n"
           "                       \"[N/]user@host\" a line, \":\" for this machine; each needs\n"
           "                       password-less ssh and this program, DADI-MERO, DATASET_ROOT\n"
           "                       and OUTPUT_ROOT at the same paths (a shared file system)\n"
           "  --slurm              a Slurm cluster, from a login node on a shared file system:\n"
           "                       one job array of the runs (split below MaxArraySize) and one\n"
           "                       job that collects them; prints the job ids and returns\n"
           "\n"
           "Options:\n"
           "  -j N                 runs at once (per machine with --sshloginfile; default: one\n"
           "                       per core); several at once share the cores (-threads)\n"
           "  --bin PATH           the DADI-MERO to run (default: the one beside this program)\n"
           "  --sbatch \"ARGS\"      with --slurm: options for every sbatch (partition, account,\n"
           "                       time, memory, QOS), e.g. --sbatch \"-p short -t 01:00:00\"\n"
           "  --cpus-per-task N    with --slurm: CPUs of each task, its -threads (default 1)\n"
           "  --throttle N         with --slurm: at most N tasks at once (%N)\n"
           "  --wait               with --slurm: follow the jobs with a progress line and exit\n"
           "                       as the collecting job does\n"
           "  --grid \"OPTION V1,V2,...\"  sweep: the values of one DADI-MERO option\n"
           "  --settings FILE      sweep: one setting a line (\"-e2 0.004 -c2 0.02\"; # comments)\n"
           "  -h, --help           show this text\n"
           "\n"
           "Ctrl-C (INT) or TERM stops every run it started (with --slurm --wait: cancels the\n"
           "jobs), prints the summary and exits 130 or 143. Only one start at a time may use\n"
           "an output root. Exit codes: 0 every run complete and scored; 1 a run failed, was\n"
           "cut short or could not be scored, or the scores could not be written (the summary\n"
           "names each, with its exit code, the last line of its log and the log's path);\n"
           "2 a bad command line.\n";
}

DatasetOptions parseDatasetOptions(bool sweep, const std::vector<std::string>& args) {
    DatasetOptions o;
    o.sweep = sweep;
    std::vector<std::string> positional;
    bool cpusGiven = false;
    bool throttleGiven = false;
    bool sbatchGiven = false;
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        auto value = [&]() -> const std::string& {
            if (i + 1 >= args.size()) throw DatasetUsageError(a + " needs a value (see --help)");
            return args[++i];
        };
        if (a == "--") {
            o.dadiOptions.assign(args.begin() + static_cast<std::ptrdiff_t>(i) + 1, args.end());
            break;
        } else if (a == "-j") {
            o.jobs = wholeNumber("-j", value());
        } else if (a.size() > 2 && a.rfind("-j", 0) == 0) {
            o.jobs = wholeNumber("-j", a.substr(2));
        } else if (a == "--bin") {
            o.program = value();
        } else if (a == "--sshloginfile") {
            o.sshLoginFile = value();
            if (o.engine == Engine::Slurm)
                throw DatasetUsageError("choose --slurm or --sshloginfile");
            o.engine = Engine::Ssh;
        } else if (a == "--slurm") {
            if (o.engine == Engine::Ssh)
                throw DatasetUsageError("choose --slurm or --sshloginfile");
            o.engine = Engine::Slurm;
        } else if (a == "--sbatch") {
            try {
                const std::vector<std::string> words = splitShellWords(value());
                o.sbatchArgs.insert(o.sbatchArgs.end(), words.begin(), words.end());
            } catch (const std::runtime_error& error) {
                throw DatasetUsageError(std::string("--sbatch: ") + error.what());
            }
            sbatchGiven = true;
        } else if (a == "--cpus-per-task") {
            o.cpusPerTask = wholeNumber(a, value());
            cpusGiven = true;
        } else if (a == "--throttle") {
            o.throttle = wholeNumber(a, value());
            throttleGiven = true;
        } else if (a == "--wait") {
            o.wait = true;
        } else if (a == "--grid" && sweep) {
            o.grids.push_back(value());
        } else if (a == "--settings" && sweep) {
            o.settingsFile = value();
        } else if (a.size() > 1 && a[0] == '-') {
            throw DatasetUsageError("unknown option '" + a + "' (see --help)");
        } else {
            positional.push_back(a);
        }
    }
    if (positional.size() != 2) {
        throw DatasetUsageError("needs DATASET_ROOT and OUTPUT_ROOT (see --help)");
    }
    o.datasetRoot = positional[0];
    o.outputRoot = positional[1];
    if (o.engine != Engine::Slurm && (sbatchGiven || cpusGiven || throttleGiven || o.wait)) {
        throw DatasetUsageError("--sbatch, --cpus-per-task, --throttle and --wait need --slurm");
    }
    if (o.engine == Engine::Slurm && o.jobs != 0) {
        throw DatasetUsageError("-j has no meaning with --slurm (see --throttle)");
    }
    if (sweep && o.grids.empty() == o.settingsFile.empty()) {
        throw DatasetUsageError("sweep needs --grid (one or more) or --settings FILE");
    }
    for (const std::string& option : o.dadiOptions) {
        if (option.find('\n') != std::string::npos) {
            throw DatasetUsageError(
                "a DADI-MERO option holds a line break; it could not be "
                "recorded");
        }
    }
    return o;
}

}  // namespace dadimero
