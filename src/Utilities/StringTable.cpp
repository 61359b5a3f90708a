#include "Utilities/StringTable.h"

#include <QHash>

namespace {
struct Entry
{
    int id;
    const char* text;
};

const Entry kStrings[] = {
    {100, "OLE initialization failed.  Make sure that the OLE libraries are the correct version."},
    {106, "Duplicate Help ID List\n"},
    {107, "Wrong And Missing Help ID List"},
    {108, "Couldn't start Excel."},
    {109, "Unable to create excel sheet."},
    {116, "Export Custom Message"},
    {122, "Pane 1"},
    {128, "VTRRuleBuilder"},
    {131, "&Windows..."},
    {306, "Edit"},
    {308, "VTRPro Rule Manager"},
    {554, "Rule"},
    {555, "Category"},
    {556, "Rule Module %s is already configured."},
    {561, "Module"},
    {562, "Criticality"},
    {565, "Description:"},
    {566, "Database is not found"},
    {567, "Critical"},
    {568, "High"},
    {569, "Medium"},
    {570, "Low"},
    {571, "Insignificant"},
    {577, "Rule Input Units"},
    {581, "Database is not connected. Please configure database properly"},
    {582, "Custom Message is not supported for Manual Check Rule."},
    {590, "Click here"},
    {591, "for details."},
    {637, "Configure Rule"},
    {638, "Reset to Default"},
    {32811, "Prismatic Mill Rules"},
    {32812, "General Rules"},
    {32813, "Turning Rules"},
    {32814, "Assembly Rules"},
    {32815, "Additive Manufacturing Rules"},
    {32816, "Casting Rules"},
    {32817, "Sheet Metal Rules"},
    {32818, "Injection Molding Rules"},
    {32819, "Die Casting Rules"},
    {32820, "Tubing Rules"},
    {32821, "Sand Casting Rules"},
    {32822, "Investment Casting Rules"},
    {32823, "Composite Rules"},
    {32824, "Sheet Metal Forming Rules"},
    {32825, "Tolerance Rules"},
    {32826, "Welding Rules"},
    {32827, "Thermoforming Rules"},
    {32828, "Forging Rules"},
    {32829, "Vacuum Infusion Rules"},
    {32830, "Cabling Rules"},
    {32831, "Manual Check Rules"},
    {32832, "Manual Check Drafting Rules"},
    {32833, "Product Database"},
    {32835, "File \"%s\" is not a valid Rule Module."},
    {32837, "\"%s\" is not a valid module name."},
    {32838, "Module Select"},
    {32840, "Register Rule Module"},
    {32841, "Register Database Module"},
    {61489, "Rules selected: %d, listed: %d"},
    {61568, "radians"},
    {61571, "degrees/minutes"},
    {61572, "degrees/minutes/seconds"},
    {61611, "Search what:"},
    {61612, "Search"},
    {61613, "Clear"},
    {61614, "Search"},
    {61629, "File %s could not be opened."},
    {61630, "%s file is not available for write access. Do you want to open document read only?"},
    {61631, "This document was read-only when opened, and may have been in use by someone else.\nThe file has been "
            "released by other users, so if you continue saving you might overwrite any changes made by the other "
            "users.\nDo you want to continue saving?\n"},
    {61632, "File is opened in read only mode, you can not save the changes"},
    {61633, "Critical"},
    {61634, "High"},
    {61635, "Medium"},
    {61636, "Low"},
    {61637, "Insignificant"},
    {61644, "a document named \"%s\" is already opened. Please choose a differnt name."},
    {61645, "This file is read only."},
    {61646, "File access is denied."},
    {61647, "File can not be saved. Unspecified error."},
    {61649, "Help ID"},
    {61650, "Rule Name"},
    {61651, "Rule Category"},
    {61652, "Custom Message"},
    {61653, "Please use standard template file format for excel."},
    {61654, "Please provide valid inputs in all fields"},
    {61657, "Custom Message imported with errors : "},
    {61658, "Save Changes to %s ?"},
    {61660, "Invalid file format. Please check Help for Correct format."},
    {61661, " Failed to add Custom Message in Database.\nAdministrative privileges are required to update the Database."},
    {61662, "Custom messages longer than 256 characters will be truncated:"},
    {61663, "Could not read the Excel file. Please check the MS Office installation on your system."},
    {61664, "Custom Message imported successfully."},
    {61666, "No file selected."},
    {61667, "Wrong file selection."},
    {61669, "Do you want to restore default values?"},
    {61691, "Could not create folder %s."},
    {61692, "%s is read only folder, please grant the permission to write to this folder."},
    {61693, "%s is not a valid path"},
    {61695, "%s does not exist. Do you want to create it?"},
    {61696, "To apply script directory change, please reopen all documents."},
    {61697, "Browse to Folder"},
    {61698, "Administrator Rights are needed to set the database directory."},
    {61723, "angstroms"},
    {61724, "nanometers"},
    {61725, "microns"},
    {61726, "millimeters"},
    {61727, "centimeters"},
    {61728, "meters"},
    {61729, "microinches"},
    {61730, "miles"},
    {61731, "inches"},
    {61732, "feet"},
    {61733, "feet & inches"},
    {61744, "degrees"},
    {61763, "Material data is not available: the product database is not connected."},
    {61770, "VTRPro"},
    {61780, " is a default module. Use the Unloaded Modules list to load it."},
    {61781, "Default Module"},
    {62001, "%s is not available yet."},
    {62002, "A rule document is shown in one window only; its window is already open."},
    {62100, "%s has been changed by another program since it was opened or saved.\nDo you want to overwrite "
            "those changes?"},
    {62102, "File %s could not be written."},
    {62103, "It is being edited by %u on %h since %t."},
    {62104, "%s cannot be written: you may not write this file or its folder. Do you want to open document read "
            "only?"},
    {62110, "%d rule(s) in %s belong to modules that are not loaded: %s.\nThey are not listed, and saving the file "
            "removes them. To keep them, close the file without saving and register those modules first."},
    {62140, "Reading rules"},
    {62141, "Saving rules"},
    {62142, "Listing rules"},
    {62143, "Exporting custom messages"},
    {62144, "Importing custom messages"},
};

const QHash<int, QString>& Table()
{
    static const QHash<int, QString> table = [] {
        QHash<int, QString> t;
        for (const Entry& e : kStrings)
            t.insert(e.id, QString::fromUtf8(e.text));
        return t;
    }();
    return table;
}
} // namespace

QString VtrString(int id)
{
    return Table().value(id);
}
