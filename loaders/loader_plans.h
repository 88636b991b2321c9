#pragma once
// What each of the seven loader switches changes on the drive, as a plan for the switch.
#include "loaders/switch.h"

// The checks of the loader's sources come first: a plan whose refusal is set changes nothing.
SwitchPlan PlanOf(Loader loader, const SwitchTarget& target);
// Switches the drive to `loader`.
SwitchOutcome InstallLoader(Loader loader, const SwitchTarget& target);
