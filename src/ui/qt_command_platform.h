// QtCommandPlatform: the clipboard, the message box and the save dialog of the list
// commands, on Qt.
// UI thread only.
#pragma once

#include "commands/list_commands.h"

namespace kavuro {

class QtCommandPlatform final : public CommandPlatform {
public:
    bool SetClipboardText(const Text& text) override;
    void ShowMessage(const Text& text) override;
    std::optional<SaveChoice> ChooseSaveFile() override;
};

}  // namespace kavuro
