#pragma once

#include <string>

#include "config.h"

namespace zorva::plugin {

// The host's own identity and the module types it expects; its category is
// the Qt plug-in IID every module declares.
const format::Config& builtInCoreConfig();

// Load states that the module loader reports.
enum ModuleState { NoState = 0, Loaded = 1, LoadFailed = 2, NotFound = 3, Conflict = 4, Disabled = 5 };
std::string moduleStateName(int state);

// Stage names of module life-cycle records.
enum ModuleStage { StageStart = 0, StageFinish = 1, StageMeta = 2 };
std::string stageName(int stage);

}  // namespace zorva::plugin
