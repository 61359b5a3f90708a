#pragma once

#include <cstdint>
#include <functional>

#include <QString>

class VtrXMLDocument;

// Run-time entries of the framework library, found by name with dlsym as
// well as linked. Strings are the toolkit's wide strings (QString).
extern "C" {
// Opens the help page of an id from the help file's folder; *result becomes 1
// when a page was handed to VTRPRO_HELP_OPENER, the registered viewer or the
// desktop's browser, else 0.
void ShowVTRHelp(const QString* helpFile, int32_t helpId, int32_t* result);
// Hands the framework the XML document that is being read or written.
void SetXMLDoc(VtrXMLDocument* document);
// Copies the data-settings folder path (ending with "/") and its terminating
// zero into buffer when *capacity holds them; returns the path length.
int32_t GetDataSettingsFolderPath(char16_t* buffer, int32_t* capacity);
// Whether scripted ("VSTA Rule") rules are supported.
void AreVSTARulesSupported(bool* supported);
// The host code: 1 SolidWorks, 2 Creo, 3 NX, 4 CGM, 5 Catia, 6 standalone.
int32_t GetCADType();
}

// The document last handed over by SetXMLDoc, or null.
VtrXMLDocument* VtrFrameworkXMLDoc();

// Shows a help page (an absolute path) inside the program; true when shown.
using VtrHelpViewer = std::function<bool(const QString& page)>;
// Registers the program's own help viewer (an empty one removes it).
// ShowVTRHelp uses it unless VTRPRO_HELP_OPENER names another program; the
// desktop's browser is the last resort, for programs without windows.
void SetVTRHelpViewer(VtrHelpViewer viewer);
