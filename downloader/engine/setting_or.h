#pragma once

#include "settings/cfg.h"

// A numeric setting, or its default while no settings are loaded (tests,
// early start-up).
inline int settingOr(int (cfg::*getter)() const, int fallback)
{
    const cfg *settings = cfg::instance();
    return settings ? (settings->*getter)() : fallback;
}
