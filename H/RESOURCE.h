// Identifiers of the plug-in's resources. The Windows resource script
// includes this file too, so it holds only preprocessor definitions, and the
// type and name texts are hidden from the resource compiler.
#pragma once

// Resources of a named type: the host reads TEXT, TYPE, FLTD and FLVS when it
// loads the plug-in; the plug-in starts every new instance from PARM.
#define IDR_PARM 16000  // one FilterParams block, 8300 bytes
#define IDR_TEXT 1000   // two zero bytes, the menu title, zero fill to 253 bytes
#define IDR_TYPE 1000   // two zero bytes, then "tlFV"
#define IDR_FLTD 1      // the host descriptor, 50 bytes
#define IDR_FLVS 1000   // 00 00 03 00

// Dialog templates and the icon drawn on the error buttons.
#define IDD_SETTINGS 101          // the full settings dialog (formula editor)
#define IDD_COMPACT_SETTINGS 102  // the dialog of a built plug-in
#define IDD_BUILD 104             // "Build Custom Filter"
#define IDI_FABLIX 105

// Controls of the settings dialogs (101 and 102). A range names its first
// member; member k is first + k.
#define IDC_OK 1
#define IDC_CANCEL 2
#define IDC_SLIDER_VALUE_0 123   // .. 130: slider k's value as a number
#define IDC_SLIDER_NAME_0 131    // .. 138: slider k's name
#define IDC_MAP_NAME_0 139       // .. 142: map i's name
#define IDC_FORMULA_LABEL_2 143  // "&R:"
#define IDC_FORMULA_LABEL_1 144  // "&G:"
#define IDC_FORMULA_LABEL_0 145  // "&B:"
#define IDC_FORMULA_LABEL_3 146  // "&A:"
#define IDC_AUTHOR 147           // the author text of a built plug-in
#define IDC_PREVIEW 106          // the preview's frame
#define IDC_DIVIDER 107
#define IDC_FORMULA_0 201       // .. 204: formula i ("gedit")
#define IDC_ERROR_BUTTON_0 206  // .. 209: formula i's error button
#define IDC_SINGLE_EXPRESSION 251
#define IDC_ANIMATE 252
#define IDC_LOAD 301
#define IDC_SAVE 302
#define IDC_BUILD 303
#define IDC_SLIDER_0 401               // .. 408: slider k, made in place of its placeholder
#define IDC_PREVIEW_SLIDER 409         // placeholder, then the preview's frame slider
#define IDC_SLIDER_PLACEHOLDER_0 1401  // .. 1408

// Controls of the build dialog (104).
#define IDC_MODULE_NAME 501
#define IDC_TITLE 502
#define IDC_AUTHOR_TEXT 503
#define IDC_NOTICE 504              // named by the dialog's code; the template has none
#define IDC_MAP_ENABLED_0 510       // .. 513
#define IDC_SLIDER_ENABLED_0 520    // .. 527
#define IDC_MAP_NAME_TEXT_0 530     // .. 533
#define IDC_SLIDER_NAME_TEXT_0 540  // .. 547

// The string table. 1028 is not used.
#define IDS_SETTINGS_FILTER 1024       // file-dialog filter of settings files, '!' separated
#define IDS_OPEN_FAILED 1025           // the settings (or plug-in) file cannot be opened
#define IDS_WRITE_FAILED 1026          // writing the file failed
#define IDS_READ_FAILED 1027           // reading the settings file failed
#define IDS_CREATE_DIALOG_FAILED 1029  // the settings dialog could not be set up
#define IDS_PLUGIN_FILTER 1030         // file-dialog filter of plug-ins; shown by nothing
#define IDS_SETTINGS_CAPTION 1031      // "%s Settings", %s = the block's title
#define IDS_RESERVED_NAME 1032         // the module name is that of a loaded module
#define IDS_NAME_EXISTS 1033           // a plug-in of that module name exists
#define IDS_PLUGIN_CREATED 1034        // build succeeded, %s = the new file's path
#define IDS_NO_MODULE_NAME 1035        // the build dialog's module name is empty

// The numeric type of raw data resources, as the platform numbers it.
#define FABLIX_RT_RCDATA 10

// The version record.
#define IDV_VERSION 1

#ifndef RC_INVOKED
// Names of the resource types that have a name.
#define FABLIX_RT_PARM "PARM"
#define FABLIX_RT_TEXT "TEXT"
#define FABLIX_RT_TYPE "TYPE"
#define FABLIX_RT_FLTD "FLTD"
#define FABLIX_RT_FLVS "FLVS"

// Names of the lookup tables, raw data resources of the numeric type above.
#define FABLIX_RC_COSINE "COSINE"  // 256 int16: the first quarter turn of the cosine
#define FABLIX_RC_ARCTAN "ARCTAN"  // 1024 uint16
#define FABLIX_RC_VECTOR "VECTOR"  // 1024 uint16
#endif
