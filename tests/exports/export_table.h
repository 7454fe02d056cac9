// The export table a host relies on: names, ordinals and, on 32-bit
// Windows, the argument bytes each export removes from the stack.
#pragma once

#include <cstdint>

namespace lumitra::test {

struct ExportEntry {
    const char* name;
    unsigned ordinal;
    unsigned argumentBytes;  // removed by the callee; 0 for the __cdecl export
    bool callerCleans;
};

inline constexpr ExportEntry kExports[] = {
    {"Lumitra_DoUserDefinedWavelengthCheck", 1, 20, false},
    {"Lumitra_DoWavelengthCalibration", 2, 24, false},
    {"Lumitra_DoWavelengthCalibrationEx", 3, 28, false},
    {"Lumitra_DoWavelengthCalibrationForWideSlit", 4, 8, false},
    {"Lumitra_DoWavelengthCheckD2Hg", 5, 36, false},
    {"Lumitra_DoWavelengthCheckD2Ho", 6, 36, false},
    {"Lumitra_FiltrateLowFrequency", 7, 12, true},
    {"Lumitra_FindTargetElement", 8, 12, false},
    {"Lumitra_GetBGSubtractedSpectrum", 9, 16, false},
    {"Lumitra_GetBGSubtractedUVSpecData", 10, 8, false},
    {"Lumitra_GetBasePeaks", 11, 16, false},
    {"Lumitra_GetBaseTimes", 12, 16, false},
    {"Lumitra_GetBaseTimesFromRT", 13, 16, false},
    {"Lumitra_GetD2LampSpectrumMaxInfo", 14, 28, false},
    {"Lumitra_GetElementIndexFromWavelengthTable", 15, 24, false},
    {"Lumitra_GetMaxVoltage", 16, 12, false},
    {"Lumitra_GetPdaCorrectedEleNo", 17, 16, false},
    {"Lumitra_GetPeakFromRT", 18, 12, false},
    {"Lumitra_GetStringLambdaMinMax", 19, 16, false},
    {"Lumitra_GetWLampSpectrumMaxInfo", 20, 28, false},
    {"Lumitra_GetWavelengthTable", 21, 20, false},
    {"Lumitra_GetWavelengthTableForDisplay", 22, 20, false},
    {"Lumitra_IsWavelengthTableEqual", 23, 20, false},
    {"Lumitra_SplineInterpolation", 24, 4, false},
};

}  // namespace lumitra::test
