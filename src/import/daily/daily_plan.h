// The daily formats' --plan: the downloads that make a format's inputs,
// from a table of points (Daymet's single-pixel service, POWER's daily
// point service) or of station IDs (GHCN-Daily's .dly files), printed as
// a plan (common/download_plan) whose files are judged whole by the
// format's own reader.
#pragma once

#include "download_plan.h"
#include "failure.h"

#include <string>
#include <vector>

namespace import {

struct import_request;

// What a format's plan fetches: its service, the downloads, and the rows
// of the table left out (with --keep-going).
struct daily_plan {
    download_service service;
    std::vector<download> downloads;
    std::vector<failure> left_out;
};

// Each format's plan: the downloads of r.plan's table; or what is wrong.
failure plan_daymet(const import_request &r, daily_plan &plan);
failure plan_power(const import_request &r, daily_plan &plan);
failure plan_ghcn(const import_request &r, daily_plan &plan);

// Prints the plan of r's format: 0, or 1 after an error or when a row was
// left out.
int run_daily_plan(const import_request &r);

} // namespace import
