#pragma once
// The main window's "New Secure Vesk" sheet: the secure composer wired to the store. A save the
// store accepts, or an item it made but keeps on screen until its row can be written, closes the
// sheet; a refused one leaves it open with everything typed.
//
// Wiring: window.setSheetFactory(SheetFlag::SecureCapture, makeSecureCaptureSheet); the header's
// "Secure" button raises the flag.

class QDialog;

namespace vesk {

class MainWindow;

QDialog* makeSecureCaptureSheet(MainWindow& window);

} // namespace vesk
