#include "evaluated_range.hpp"

EvaluatedRange readEvaluatedRange(const std::filesystem::path& sequence) {
    const dadimero::TemporalRange range =
        dadimero::SequenceDirectory(sequence).requireTemporalRange();
    return EvaluatedRange{range.fromIdx, range.toIdx};
}
