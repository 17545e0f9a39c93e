// The door of DADI-MERO's own programs (dadimero/internal/program_access.hpp).
#include "dadimero/internal/program_access.hpp"

#include <algorithm>
#include <memory>

#include "depth/depth_samples.hpp"
#include "masks/spatial_coherence.hpp"
#include "model/model_grid.hpp"
#include "subtractor/depth_maximum.hpp"
#include "subtractor/frame_pipeline.hpp"
#include "subtractor/settings_checks.hpp"
#include "subtractor/subtractor_setup.hpp"
#include "threads/worker_pool.hpp"

namespace dadimero {

Subtractor ProgramAccess::makeSubtractor(const ProgramOptions& options,
                                         cv::InputArray colourBackground,
                                         cv::InputArray depthBackground, cv::InputArray roi) {
    Settings settings = options.settings;
    if (options.commandLineRules) {
        settings.threads = resolveThreadCount(std::max(settings.threads, 0));
        checkProgramSettings(settings);
    } else {
        checkSettings(settings);
    }
    auto setup = std::make_unique<Subtractor::Setup>(settings, roi);
    setup->keepsBackgrounds = options.keepBackgrounds;
    setup->times = options.times;
    Subtractor subtractor;
    subtractor.construct(std::move(setup), colourBackground, depthBackground);
    return subtractor;
}

cv::Mat ProgramAccess::initialDepthPicture(const InitialDepthBackground& background) {
    return background.maximum_->picture();
}

int ProgramAccess::workerThreads(const Subtractor& subtractor) {
    return subtractor.pipeline_ ? subtractor.pipeline_->pool.size() : 0;
}

bool ProgramAccess::isBlockSide(int n) {
    return isSupportedBlockSide(n);
}

int ProgramAccess::smallestSide(int Cw) {
    return Cw == 5 ? kMinSide5x5 : kMinSide3x3;
}

bool ProgramAccess::isDepthImage(const cv::Mat& image) {
    return isSupportedDepthImage(image);
}

}  // namespace dadimero
