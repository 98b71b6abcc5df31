#pragma once
// Run settings filled by the project-file reader: one field per card value.

struct project_settings {};
struct run_parameters {};
struct precip_settings {};
