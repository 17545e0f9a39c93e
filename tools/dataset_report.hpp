#pragma once

#include <string>

#include "dataset_scoring.hpp"

// Three plain-text tables: per video, per category, overall. A video left out
// has its reason in place of its counts.
std::string datasetTable(const DatasetScore& dataset);

// One JSON object: {"videos": [...], "categories": [...], "overall": {...}};
// undefined measures are null; a video left out has "LeftOut": its reason in
// place of its counts and measures.
std::string datasetJson(const DatasetScore& dataset);

// CSV with the header category,video,frame,TP,FP,FN,TN and one row per video
// and frame.
std::string perFrameCsv(const DatasetScore& dataset);
