#pragma once

// The kavro-db commands, one file each in this folder; Command::all lists them in usage order.
#include <memory>

class Command;

std::unique_ptr<Command> makeInitCommand();
std::unique_ptr<Command> makeUpgradeCommand();
std::unique_ptr<Command> makeHistoryCommand();
std::unique_ptr<Command> makeImportSheetCommand();
std::unique_ptr<Command> makeCopyCommand();
std::unique_ptr<Command> makeImportCommand();
std::unique_ptr<Command> makeSetAdminCommand();
std::unique_ptr<Command> makeExpiringCommand();
std::unique_ptr<Command> makeExportCommand();
std::unique_ptr<Command> makeBackupCommand();
std::unique_ptr<Command> makeCheckCommand();
std::unique_ptr<Command> makeRestoreCommand();
