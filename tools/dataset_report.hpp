#pragma once

#include <string>

#include "dataset_scoring.hpp"

// Three plain-text tables: per video, per category, overall.
std::string datasetTable(const DatasetScore& dataset);

// One JSON object: {"videos": [...], "categories": [...], "overall": {...}};
// undefined measures are null.
std::string datasetJson(const DatasetScore& dataset);

// CSV with the header category,video,frame,TP,FP,FN,TN and one row per video
// and frame.
std::string perFrameCsv(const DatasetScore& dataset);
