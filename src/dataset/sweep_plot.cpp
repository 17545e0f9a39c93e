#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <stdexcept>

#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>

#include "image_files.hpp"

#include "sweep_summary.hpp"

namespace dadimero {

namespace {

const cv::Scalar kInk(40, 40, 40);
const cv::Scalar kGrid(225, 225, 225);
const cv::Scalar kFailed(190, 190, 190);
const cv::Scalar kWhite(255, 255, 255);

// Distinguishable colours (BGR) for the categories' lines.
const cv::Scalar kPalette[] = {{180, 119, 31},  {14, 127, 255},  {44, 160, 44},
                               {40, 39, 214},   {189, 103, 148}, {75, 86, 140},
                               {194, 119, 227}, {34, 189, 188},  {207, 190, 23}};

void text(cv::Mat& image, const std::string& words, cv::Point at, double scale = 0.45,
          const cv::Scalar& colour = kInk) {
    cv::putText(image, words, at, cv::FONT_HERSHEY_SIMPLEX, scale, colour, 1, cv::LINE_AA);
}

std::string fText(double f) {
    char buffer[16];
    std::snprintf(buffer, sizeof buffer, "%.3f", f);
    return buffer;
}

bool isNumber(const std::string& text) {
    char* end = nullptr;
    std::strtod(text.c_str(), &end);
    return !text.empty() && *end == '\0';
}

// The distinct values of swept option `option`, in numeric order when all are
// numbers, else in the order the settings give them.
std::vector<std::string> axisValues(const SweepSummary& summary, size_t option) {
    std::vector<std::string> values;
    for (const std::vector<std::string>& row : summary.sweptValues) {
        if (std::find(values.begin(), values.end(), row[option]) == values.end()) {
            values.push_back(row[option]);
        }
    }
    if (std::all_of(values.begin(), values.end(), isNumber)) {
        std::stable_sort(values.begin(), values.end(), [](const auto& a, const auto& b) {
            return std::strtod(a.c_str(), nullptr) < std::strtod(b.c_str(), nullptr);
        });
    }
    return values;
}

size_t positionOf(const std::vector<std::string>& values, const std::string& value) {
    return static_cast<size_t>(std::find(values.begin(), values.end(), value) - values.begin());
}

bool usable(const SweepCell& cell) {
    return !cell.failed && cell.scored && !std::isnan(cell.measures.fMeasure);
}

// The series of the plot: overall first, then each category.
struct Series {
    std::string name;
    std::vector<const SweepCell*> cells;  // per row
};

std::vector<Series> seriesOf(const SweepSummary& summary) {
    std::vector<Series> series(1 + summary.categories.size());
    series[0].name = "overall";
    for (size_t c = 0; c < summary.categories.size(); ++c)
        series[c + 1].name = summary.categories[c];
    for (const SweepRow& row : summary.rows) {
        series[0].cells.push_back(&row.overall);
        for (size_t c = 0; c < summary.categories.size(); ++c)
            series[c + 1].cells.push_back(&row.categories[c]);
    }
    return series;
}

// The range of the F-measures shown, to the next 0.05, at least 0.1 wide.
std::pair<double, double> fRange(const std::vector<Series>& series) {
    double low = 1.0;
    double high = 0.0;
    for (const Series& s : series) {
        for (const SweepCell* cell : s.cells) {
            if (!usable(*cell)) continue;
            low = std::min(low, cell->measures.fMeasure);
            high = std::max(high, cell->measures.fMeasure);
        }
    }
    if (low > high) return {0.0, 1.0};
    low = std::floor(low * 20.0) / 20.0;
    high = std::ceil(high * 20.0) / 20.0;
    if (high - low < 0.1) high = std::min(1.0, low + 0.1), low = high - 0.1;
    return {low, high};
}

cv::Mat linePlot(const SweepSummary& summary) {
    const std::vector<std::string> values = axisValues(summary, 0);
    const std::vector<Series> series = seriesOf(summary);
    const auto [low, high] = fRange(series);
    constexpr int kLeft = 70, kRight = 220, kTop = 60, kBottom = 70;
    const int plotWidth = std::max<int>(400, 90 * static_cast<int>(values.size()));
    const int width = kLeft + plotWidth + kRight;
    const int height = 520;
    const int plotHeight = height - kTop - kBottom;
    cv::Mat image(height, width, CV_8UC3, kWhite);
    auto at = [&](size_t position, double f) {
        const double x = values.size() == 1 ? 0.5
                                            : static_cast<double>(position) /
                                                  static_cast<double>(values.size() - 1);
        return cv::Point(kLeft + 20 + static_cast<int>(std::lround(x * (plotWidth - 40))),
                         kTop + plotHeight -
                             static_cast<int>(std::lround((f - low) / (high - low) * plotHeight)));
    };
    for (int tick = 0; tick <= 5; ++tick) {
        const double f = low + (high - low) * tick / 5.0;
        const cv::Point y = at(0, f);
        cv::line(image, {kLeft, y.y}, {kLeft + plotWidth, y.y}, kGrid);
        text(image, fText(f), {8, y.y + 5});
    }
    for (size_t p = 0; p < values.size(); ++p) {
        const cv::Point x = at(p, low);
        cv::line(image, {x.x, kTop}, {x.x, kTop + plotHeight}, kGrid);
        text(image, values[p], {x.x - 4 * static_cast<int>(values[p].size()), x.y + 20});
    }
    cv::rectangle(image, {kLeft, kTop}, {kLeft + plotWidth, kTop + plotHeight}, kInk);
    text(image, "F-measure against " + summary.sweptOptions[0] + " (higher is better)", {kLeft, 30},
         0.6);
    text(image, summary.sweptOptions[0], {kLeft + plotWidth / 2 - 10, height - 20});
    // Overall last, on top of the categories; each series' best value ringed.
    for (size_t k = 0; k < series.size(); ++k) {
        const size_t s = (k + 1) % series.size();
        const cv::Scalar colour = s == 0 ? kInk : kPalette[(s - 1) % std::size(kPalette)];
        const int thickness = s == 0 ? 3 : 2;
        std::vector<std::pair<size_t, double>> points;
        for (size_t r = 0; r < summary.rows.size(); ++r) {
            const SweepCell& cell = *series[s].cells[r];
            if (usable(cell)) {
                points.emplace_back(positionOf(values, summary.sweptValues[r][0]),
                                    cell.measures.fMeasure);
            }
        }
        std::sort(points.begin(), points.end());
        const auto best =
            std::max_element(points.begin(), points.end(),
                             [](const auto& a, const auto& b) { return a.second < b.second; });
        if (best != points.end()) {
            cv::circle(image, at(best->first, best->second), 8, colour, 2, cv::LINE_AA);
        }
        for (size_t i = 0; i < points.size(); ++i) {
            const cv::Point point = at(points[i].first, points[i].second);
            cv::circle(image, point, 4, colour, cv::FILLED, cv::LINE_AA);
            if (i > 0) {
                cv::line(image, at(points[i - 1].first, points[i - 1].second), point, colour,
                         thickness, cv::LINE_AA);
            }
        }
        const cv::Point legend(kLeft + plotWidth + 20, kTop + 10 + 22 * static_cast<int>(s));
        cv::line(image, legend, legend + cv::Point(24, 0), colour, thickness, cv::LINE_AA);
        text(image, series[s].name, legend + cv::Point(32, 5));
    }
    return image;
}

cv::Mat heatMaps(const SweepSummary& summary) {
    const std::vector<std::string> rows = axisValues(summary, 0);
    const std::vector<std::string> columns = axisValues(summary, 1);
    std::vector<Series> series = seriesOf(summary);
    const auto [low, high] = fRange(series);
    constexpr size_t kMostPanels = 9;
    if (series.size() > kMostPanels) series.resize(kMostPanels);
    constexpr int kCell = 64;
    constexpr int kLabel = 90;
    const int panelWidth = kLabel + kCell * static_cast<int>(columns.size()) + 30;
    const int panelHeight = 60 + kCell * static_cast<int>(rows.size()) + 40;
    const int across = static_cast<int>(std::min<size_t>(series.size(), 3));
    const int down = static_cast<int>((series.size() + 2) / 3);
    cv::Mat image(50 + panelHeight * down, panelWidth * across, CV_8UC3, kWhite);
    text(image,
         "F-measure over " + summary.sweptOptions[0] + " (down) and " + summary.sweptOptions[1] +
             " (across); " + fText(low) + " dark to " + fText(high) + " bright",
         {10, 28}, 0.55);
    cv::Mat gradient(1, 256, CV_8UC1);
    for (int i = 0; i < 256; ++i)
        gradient.at<uint8_t>(0, i) = static_cast<uint8_t>(i);
    cv::Mat colours;
    cv::applyColorMap(gradient, colours, cv::COLORMAP_VIRIDIS);
    for (size_t s = 0; s < series.size(); ++s) {
        const cv::Point origin(panelWidth * static_cast<int>(s % 3),
                               50 + panelHeight * static_cast<int>(s / 3));
        text(image, series[s].name, origin + cv::Point(kLabel, 30), 0.5);
        for (size_t r = 0; r < rows.size(); ++r) {
            text(image, rows[r], origin + cv::Point(6, 60 + kCell * static_cast<int>(r) + 36));
        }
        for (size_t c = 0; c < columns.size(); ++c) {
            text(image, columns[c],
                 origin + cv::Point(kLabel + kCell * static_cast<int>(c) + 4,
                                    60 + kCell * static_cast<int>(rows.size()) + 18));
        }
        for (size_t r = 0; r < summary.rows.size(); ++r) {
            const SweepCell& cell = *series[s].cells[r];
            const int y = static_cast<int>(positionOf(rows, summary.sweptValues[r][0]));
            const int x = static_cast<int>(positionOf(columns, summary.sweptValues[r][1]));
            const cv::Rect box(origin + cv::Point(kLabel + kCell * x, 60 + kCell * y),
                               cv::Size(kCell - 2, kCell - 2));
            if (cell.failed || !usable(cell)) {
                cv::rectangle(image, box, kFailed, cv::FILLED);
                text(image, cell.failed ? "failed" : "-", box.tl() + cv::Point(8, 36), 0.4);
                continue;
            }
            const double share = (cell.measures.fMeasure - low) / (high - low);
            const int index = std::clamp(static_cast<int>(std::lround(share * 255.0)), 0, 255);
            const cv::Vec3b colour = colours.at<cv::Vec3b>(0, index);
            cv::rectangle(image, box, cv::Scalar(colour[0], colour[1], colour[2]), cv::FILLED);
            text(image, fText(cell.measures.fMeasure), box.tl() + cv::Point(8, 36), 0.42,
                 index > 150 ? kInk : kWhite);
        }
    }
    return image;
}

}  // namespace

void writeSweepPlot(const DatasetPlan& plan, const SweepSummary& summary) {
    const std::filesystem::path path = plan.outputRoot / "sweep.png";
    if (summary.sweptOptions.empty() || summary.sweptOptions.size() > 2) {
        std::error_code ignored;
        std::filesystem::remove(path, ignored);
        return;
    }
    const cv::Mat image = summary.sweptOptions.size() == 1 ? linePlot(summary) : heatMaps(summary);
    if (!writePngFile(path.string(), image)) {
        throw std::runtime_error("cannot write " + path.string());
    }
}

}  // namespace dadimero
