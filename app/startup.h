// The start-up steps between constructing the application and building the window, shared by
// main() and the benchmarks that measure what a user starts.
#pragma once

class QApplication;
class QTranslator;

// Screen diagnostics, meta-type registration, and the English translation on non-Chinese locales.
void prepareApplication(QApplication &app, QTranslator &translator);
