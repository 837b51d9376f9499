#pragma once

#include <QString>

// The program as the web browser's native messaging host: reads the
// extension's messages from standard input, hands each download to the copy
// running for this folder (starting it when none runs), and writes its
// answer back. Needs no display. Returns the exit code.
int runNativeHost(int argc, char *argv[]);

// Writes the host manifests for this user (Chromium's and Firefox's
// folders under home), naming programPath; what was written, or the error,
// goes into *report. False when a manifest could not be written.
bool registerBrowserHosts(const QString &home, const QString &programPath, QString *report);

// `downloader --registrar-navegador`: the manifests for this user, naming
// this very program. Returns the exit code.
int runBrowserRegistration(int argc, char *argv[]);
