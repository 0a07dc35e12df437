#pragma once
// Hands the main window the prompts, confirmations and the cleanup sheet of its library commands
// (rename, new/rename/delete group, delete selected, clear library, clean up filenames), and the
// cleanup's completion alert. Until they are installed, the controls that would open them stay
// hidden.

namespace vesk {

class MainWindow;

void installLibrarySheets(MainWindow& window);

} // namespace vesk
