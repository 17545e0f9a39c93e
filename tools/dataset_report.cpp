#include "dataset_report.hpp"

#include <algorithm>
#include <cstdio>

#include "report_formatting.hpp"

namespace {

std::string padded(const std::string& text, size_t width) {
    return text + std::string(width > text.size() ? width - text.size() : 0, ' ');
}

std::string videoRow(size_t categoryWidth, size_t videoWidth, const std::string& category,
                     const std::string& video, const std::string (&counts)[6],
                     const MeasureCells& measures) {
    char countColumns[128];
    std::snprintf(countColumns, sizeof countColumns, " %6s %10s %10s %10s %10s", counts[0].c_str(),
                  counts[1].c_str(), counts[2].c_str(), counts[3].c_str(), counts[4].c_str());
    char shadowColumn[32];
    std::snprintf(shadowColumn, sizeof shadowColumn, " %12s\n", counts[5].c_str());
    return padded(category, categoryWidth) + "  " + padded(video, videoWidth) + countColumns +
           measureColumns(measures) + shadowColumn;
}

std::string countedRow(size_t nameWidth, const std::string& name, const char* countFormat,
                       const std::string& count, const MeasureCells& measures) {
    char countColumn[32];
    std::snprintf(countColumn, sizeof countColumn, countFormat, count.c_str());
    return padded(name, nameWidth) + countColumn + measureColumns(measures) + "\n";
}

std::string csvField(const std::string& text) {
    if (text.find_first_of(",\"\r\n") == std::string::npos) return text;
    std::string quoted = "\"";
    for (const char c : text) {
        if (c == '"') quoted += '"';
        quoted += c;
    }
    return quoted + "\"";
}

}  // namespace

std::string datasetTable(const DatasetScore& dataset) {
    // Names as the table shows them: a newline in a name must not break a row.
    std::vector<std::string> categories;
    std::vector<std::string> videos;
    size_t categoryWidth = 8;
    size_t videoWidth = 5;
    for (const VideoScore& v : dataset.videos) {
        categories.push_back(visibleText(v.video.category));
        videos.push_back(visibleText(v.video.video));
        categoryWidth = std::max(categoryWidth, categories.back().size());
        videoWidth = std::max(videoWidth, videos.back().size());
    }
    std::string table = "Per video\n";
    const std::string headers[6] = {"frames", "TP", "FP", "FN", "TN", "ShadowErrors"};
    table += videoRow(categoryWidth, videoWidth, "category", "video", headers, kMeasureHeaders);
    for (size_t i = 0; i < dataset.videos.size(); ++i) {
        const VideoScore& v = dataset.videos[i];
        if (v.outcome != VideoOutcome::Scored) {
            table += padded(categories[i], categoryWidth) + "  " + padded(videos[i], videoWidth) +
                     "  left out: " + v.leftOutBecause + "\n";
            continue;
        }
        const ConfusionCounts& c = v.score.counts;
        const std::string counts[6] = {
            std::to_string(v.score.frames),   std::to_string(c.truePositives),
            std::to_string(c.falsePositives), std::to_string(c.falseNegatives),
            std::to_string(c.trueNegatives),  std::to_string(c.shadowErrors)};
        table += videoRow(categoryWidth, videoWidth, categories[i], videos[i], counts,
                          measureCells(v.score.measures));
    }
    table += "\nPer category (mean of its videos)\n";
    table += countedRow(categoryWidth, "category", "  %6s", "videos", kMeasureHeaders);
    for (const CategoryScore& c : dataset.categories) {
        table += countedRow(categoryWidth, visibleText(c.category), "  %6s",
                            std::to_string(c.videos), measureCells(c.measures));
    }
    table += "\nOverall (mean of the category means)\n";
    table += countedRow(0, "", "%10s", "categories", kMeasureHeaders);
    table += countedRow(0, "", "%10s", std::to_string(dataset.categories.size()),
                        measureCells(dataset.overall));
    return table;
}

std::string datasetJson(const DatasetScore& dataset) {
    std::string json = "{\"videos\": [";
    for (size_t i = 0; i < dataset.videos.size(); ++i) {
        const VideoScore& v = dataset.videos[i];
        const ConfusionCounts& c = v.score.counts;
        json += i == 0 ? "\n  " : ",\n  ";
        json += "{\"category\": " + jsonString(v.video.category) +
                ", \"video\": " + jsonString(v.video.video);
        if (v.outcome != VideoOutcome::Scored) {
            json += ", \"LeftOut\": " + jsonString(v.leftOutBecause) + "}";
            continue;
        }
        json += ", \"TP\": " + std::to_string(c.truePositives) +
                ", \"FP\": " + std::to_string(c.falsePositives) +
                ", \"FN\": " + std::to_string(c.falseNegatives) +
                ", \"TN\": " + std::to_string(c.trueNegatives) + ", " +
                jsonMeasures(v.score.measures) +
                ", \"ShadowErrors\": " + std::to_string(c.shadowErrors) + "}";
    }
    json += "\n],\n\"categories\": [";
    for (size_t i = 0; i < dataset.categories.size(); ++i) {
        const CategoryScore& c = dataset.categories[i];
        json += i == 0 ? "\n  " : ",\n  ";
        json += "{\"category\": " + jsonString(c.category) +
                ", \"videos\": " + std::to_string(c.videos) + ", " + jsonMeasures(c.measures) + "}";
    }
    json += "\n],\n\"overall\": {\"categories\": " + std::to_string(dataset.categories.size()) +
            ", " + jsonMeasures(dataset.overall) + "}}\n";
    return json;
}

std::string perFrameCsv(const DatasetScore& dataset) {
    std::string csv = "category,video,frame,TP,FP,FN,TN\n";
    for (const VideoScore& v : dataset.videos) {
        const std::string names = csvField(v.video.category) + "," + csvField(v.video.video) + ",";
        for (const FrameCounts& f : v.score.perFrame) {
            csv += names + std::to_string(f.frame) + "," + std::to_string(f.counts.truePositives) +
                   "," + std::to_string(f.counts.falsePositives) + "," +
                   std::to_string(f.counts.falseNegatives) + "," +
                   std::to_string(f.counts.trueNegatives) + "\n";
        }
    }
    return csv;
}
