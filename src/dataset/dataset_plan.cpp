#include "dataset_plan.hpp"

#include <fstream>
#include <iterator>
#include <stdexcept>

#include "image_files.hpp"

namespace dadimero {

namespace fs = std::filesystem;

namespace {

constexpr const char* kPlanMagic = "dadimero-dataset plan 1\n";

// Fields are netstrings, "LENGTH:BYTES,", so that any byte can be in them.
class FieldWriter {
  public:
    void add(const std::string& field) {
        text_ += std::to_string(field.size()) + ":" + field + ",";
    }
    void add(size_t number) { add(std::to_string(number)); }
    void add(const std::vector<std::string>& fields) {
        add(fields.size());
        for (const std::string& field : fields)
            add(field);
    }
    const std::string& text() const { return text_; }

  private:
    std::string text_ = kPlanMagic;
};

class FieldReader {
  public:
    FieldReader(std::string text, std::string path) : text_(std::move(text)), path_(path) {
        if (text_.compare(0, std::string(kPlanMagic).size(), kPlanMagic) != 0) fail();
        at_ = std::string(kPlanMagic).size();
    }
    std::string next() {
        const size_t colon = text_.find(':', at_);
        if (colon == std::string::npos || colon == at_ || colon - at_ > 12) fail();
        size_t length = 0;
        for (size_t i = at_; i < colon; ++i) {
            if (text_[i] < '0' || text_[i] > '9') fail();
            length = length * 10 + static_cast<size_t>(text_[i] - '0');
        }
        if (length > text_.size() - colon - 1 || text_.size() - colon - 1 - length < 1 ||
            text_[colon + 1 + length] != ',') {
            fail();
        }
        at_ = colon + 2 + length;
        return text_.substr(colon + 1, length);
    }
    size_t number() {
        const std::string field = next();
        if (field.empty() || field.size() > 12 ||
            field.find_first_not_of("0123456789") != std::string::npos) {
            fail();
        }
        return std::stoull(field);
    }
    std::vector<std::string> list() {
        std::vector<std::string> fields(number());
        for (std::string& field : fields)
            field = next();
        return fields;
    }
    void finish() const {
        if (at_ != text_.size()) fail();
    }

  private:
    [[noreturn]] void fail() const { throw std::runtime_error(path_ + " is not a whole plan"); }
    std::string text_;
    std::string path_;
    size_t at_ = 0;
};

}  // namespace

fs::path DatasetPlan::resultsRootOf(size_t setting) const {
    const std::string& folder = settings[setting].folder;
    return folder.empty() ? outputRoot : outputRoot / folder;
}

fs::path DatasetPlan::folderOf(size_t run) const {
    const fs::path root = resultsRootOf(run / sequences.size());
    const fs::path& relative = sequenceOf(run).relative;
    return relative == "." ? root : root / relative;
}

std::vector<std::string> DatasetPlan::optionsOf(size_t run) const {
    std::vector<std::string> options = settingOf(run).options;
    options.insert(options.end(), fixedOptions.begin(), fixedOptions.end());
    return options;
}

std::string DatasetPlan::nameOf(size_t run) const {
    const std::string& folder = settingOf(run).folder;
    const fs::path& relative = sequenceOf(run).relative;
    if (folder.empty()) return displayPath(relative);
    return displayPath(relative == "." ? fs::path(folder) : folder / relative);
}

void savePlan(const DatasetPlan& plan, const fs::path& path) {
    FieldWriter w;
    w.add(plan.program.string());
    w.add(plan.datasetRoot.string());
    w.add(plan.outputRoot.string());
    w.add(plan.sweep ? "sweep" : "run");
    w.add(plan.settings.size());
    for (const Setting& setting : plan.settings) {
        w.add(setting.folder);
        w.add(setting.options);
    }
    w.add(plan.fixedOptions);
    w.add(plan.sequences.size());
    for (const DatasetSequence& sequence : plan.sequences) {
        w.add(sequence.path.string());
        w.add(sequence.relative.string());
    }
    w.add(static_cast<size_t>(plan.threads.kind));
    w.add(static_cast<size_t>(plan.threads.threads));
    w.add(plan.toRun.size());
    for (const size_t run : plan.toRun)
        w.add(run);
    if (writeFileBytes(path.string(), w.text().data(), w.text().size()) != WriteResult::Written) {
        throw std::runtime_error("cannot write " + path.string());
    }
}

DatasetPlan loadPlan(const fs::path& path) {
    std::ifstream file(path, std::ios::binary);
    if (!file) throw std::runtime_error("cannot read " + path.string());
    std::string text((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
    FieldReader r(std::move(text), path.string());
    DatasetPlan plan;
    plan.program = r.next();
    plan.datasetRoot = r.next();
    plan.outputRoot = r.next();
    plan.sweep = r.next() == "sweep";
    plan.settings.resize(r.number());
    for (Setting& setting : plan.settings) {
        setting.folder = r.next();
        setting.options = r.list();
    }
    plan.fixedOptions = r.list();
    plan.sequences.resize(r.number());
    for (DatasetSequence& sequence : plan.sequences) {
        sequence.path = r.next();
        sequence.relative = r.next();
    }
    const size_t kind = r.number();
    if (kind > ThreadsRule::SlurmCpus) throw std::runtime_error(path.string() + " is not a plan");
    plan.threads.kind = static_cast<ThreadsRule::Kind>(kind);
    plan.threads.threads = static_cast<int>(r.number());
    plan.toRun.resize(r.number());
    for (size_t& run : plan.toRun) {
        run = r.number();
        if (run >= plan.runCount()) throw std::runtime_error(path.string() + " is not a plan");
    }
    r.finish();
    if (plan.settings.empty() || plan.sequences.empty()) {
        throw std::runtime_error(path.string() + " is not a plan");
    }
    return plan;
}

}  // namespace dadimero
