// The effect description Kdenlive needs to show a frei0r plug-in with real
// ranges (without one, every number is a slider from 0.000 to 1.000), made
// from what the plug-in itself tells a host: it is loaded and asked through
// the frei0r functions, so the description cannot disagree with it.
#pragma once

#include <string>

// The description of the frei0r plug-in at `pluginPath`, which a host loads
// as `service` (the file name up to its first dot): tag and id
// "frei0r.SERVICE", the plug-in's name, explanation and author, and one
// parameter per frei0r parameter, by index. A slider (any other number) is
// "animated" from 0 to 255 with factor 255, the frame rate and the clip
// length plain numbers, a bool a check box, the settings file a file
// parameter; the formulas, text Kdenlive cannot edit, are left out. Empty
// with `problem` set when the plug-in cannot be loaded or is no frei0r
// filter.
std::string KdenliveEffect(const std::string& pluginPath, const std::string& service, std::string* problem);

// The file name Kdenlive's own descriptions use: "frei0r_SERVICE.xml".
std::string KdenliveEffectFileName(const std::string& service);
