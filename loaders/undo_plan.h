#pragma once
// The undo of the last switch: a switch of its own that puts back what the backup holds, so a
// second undo redoes.
#include <string>

#include "loaders/switch.h"

// Whether there is a switch to undo: its record lies beside its backup and no journal is pending.
bool UndoAvailable(const std::wstring& bootDir);

// The question before the undo, naming the loaders the backup's bootstate.txt records.
std::wstring UndoQuestion(const std::wstring& bootDir);

// Undoes the last switch through RunSwitch; nothing changes on a disk whose signature, table or
// partition start no longer fit the backup.
SwitchOutcome UndoLastSwitch(const SwitchTarget& target);
