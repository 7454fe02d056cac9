/*
 * lumitra.h -- interface of the Lumitra library (its version: LUMITRA_VERSION)
 *
 * Numerical routines for the photodiode-array UV/VIS detector of a liquid
 * chromatograph: the grating model and calibration record that give every
 * one of the 512 diode elements its wavelength, wavelength calibration from
 * deuterium-lamp lines, wavelength-accuracy checks, lamp diagnostics, spline
 * and filter kernels, and chromatogram utilities.
 *
 * Conventions shared by every function:
 *  - Every call is synchronous and keeps nothing from one call to the next
 *    (except the cached address of Tool_AllocateUVSpecData).
 *  - Results are 32-bit status codes in the Windows HRESULT form, negative
 *    on failure: test the sign, not equality with S_OK.
 *  - Every export validates exactly the arguments its description lists,
 *    before it writes or allocates anything. Pointers it does not validate
 *    are the caller's responsibility.
 *  - Buffers handed back are allocated with CoTaskMemAlloc and belong to the
 *    caller, who frees them with CoTaskMemFree. On Linux the library exports
 *    its own CoTaskMemAlloc/CoTaskMemFree for that purpose.
 *  - Nothing is thrown across this interface.
 *  - On 32-bit Windows every export uses __stdcall (the callee removes its
 *    arguments) except Lumitra_FiltrateLowFrequency, which is __cdecl.
 *  - Lumitra.dll comes for 32-bit Windows hosts (PE32) and for 64-bit ones
 *    (PE32+). The 64-bit DLL has the same 24 names and ordinals and the
 *    platform's single calling convention; records that hold pointers lay
 *    them out 8 bytes wide, exactly as on x86-64 Linux (sizes given below).
 *  - Sibling libraries of the host (KESTRONA.DLL, Varnex2.dll) are loaded
 *    by file name. Windows: LoadLibraryA's standard search, i.e. the host
 *    program's folder, the system folders, the Windows folder, the current
 *    folder, then PATH. Linux (libkestrona.so, libvarnex2.so): the folder of
 *    liblumitra.so (of the program, where the library is linked in
 *    statically), then the absolute folders of the loader's search path
 *    (LD_LIBRARY_PATH, RUNPATH, system folders, loader cache); never the
 *    working directory, not even through an empty or relative element of
 *    LD_LIBRARY_PATH.
 *
 * Units: integer wavelengths in 0.01 nm, double wavelengths in nm,
 * positions in records in 1/64 element (element e is e*64), element spectra
 * as 512 doubles with element 1 first.
 */
#ifndef LUMITRA_LUMITRA_H
#define LUMITRA_LUMITRA_H

#include <stddef.h>
#include <stdint.h>

#include "lumitra/lumitra_version.h"

#ifdef __cplusplus
#include <string>
#endif

#if defined(_WIN32)
#  include <windows.h>
#  include <objbase.h>
#  if defined(LUMITRA_BUILDING) || defined(LUMITRA_STATIC)
#    define LUMITRA_API
#  else
#    define LUMITRA_API __declspec(dllimport)
#  endif
#  define LUMITRA_CALL __stdcall
#  define LUMITRA_CDECL __cdecl
#else
#  define LUMITRA_API __attribute__((visibility("default")))
#  define LUMITRA_CALL
#  define LUMITRA_CDECL
#endif

#ifdef __cplusplus
extern "C" {
#endif

/* ------------------------------------------------------------------------ */
/* Status codes                                                              */
/* ------------------------------------------------------------------------ */

#if !defined(_WIN32)
typedef int32_t HRESULT;
#  define S_OK          ((HRESULT)0x00000000)
#  define E_ABORT       ((HRESULT)0x80004004u)
#  define E_NOINTERFACE ((HRESULT)0x80004002u)
#  define E_FAIL        ((HRESULT)0x80004005u)
#  define E_UNEXPECTED  ((HRESULT)0x8000FFFFu)
#  define E_OUTOFMEMORY ((HRESULT)0x8007000Eu)
#  define E_INVALIDARG  ((HRESULT)0x80070057u)

/* The task allocator. Buffers returned by the library come from here and are
 * released by the caller with CoTaskMemFree. CoTaskMemAlloc(0) returns a
 * unique non-null pointer; CoTaskMemFree(NULL) does nothing. */
LUMITRA_API void* CoTaskMemAlloc(size_t size);
LUMITRA_API void CoTaskMemFree(void* block);
/* Linux only: blocks of the task allocator not yet freed (by anyone), so
 * that a host can check it released every buffer it received. */
LUMITRA_API long LumitraDiagnostics_OutstandingTaskMemory(void);
#endif

/* The library's own code: a new calibration would put 190 nm below position
 * 3.0 or 800 nm beyond position 510.0 of the array. */
#define E_CALIBRATION_RANGE ((int32_t)0x80043219u)

/* ------------------------------------------------------------------------ */
/* Records                                                                   */
/* ------------------------------------------------------------------------ */

/* Number of diode elements; an element spectrum is this many doubles. */
#define LUMITRA_ELEMENT_COUNT 512
/* Points of the display grid 190.00 .. 800.00 nm in 1-nm steps. */
#define LUMITRA_DISPLAY_GRID_COUNT 611

/* Two reference lines and their measured positions (16 bytes). A record
 * whose two positions are both 0 is uncalibrated and selects the default
 * dispersion. Records made by the calibration hold 36080 and 65610. */
typedef struct CalibrationRecord {
    int32_t wavelength1; /* reference line 1, 0.01 nm */
    int32_t position1;   /* its position, 1/64 element */
    int32_t wavelength2; /* reference line 2 (the anchor), 0.01 nm */
    int32_t position2;   /* its position, 1/64 element */
} CalibrationRecord;

/* Request of Lumitra_SplineInterpolation (48 bytes on 32-bit targets, 72
 * on 64-bit ones: pointers 8 bytes wide, field order unchanged). */
typedef struct SplineRequest {
    int32_t mode;     /* 0 = midpoint mode, otherwise sub-step spline mode */
    double* inX;      /* input abscissae; an abscissa of 0.0 ends the data */
    int32_t* inY;     /* input ordinates */
    double* outX;     /* output abscissae, at least outCount values */
    int32_t* outY;    /* output ordinates, at least outCount values */
    int32_t reserved; /* not read */
    double startX;    /* spline mode: abscissa where the range begins */
    double endX;      /* abscissa where the range ends (both modes) */
    int32_t outCount; /* output points; also bounds the range scans */
    int32_t subSteps; /* spline mode: output points per input interval */
} SplineRequest;

/* Result of the deuterium/holmium and deuterium/mercury checks (296 bytes,
 * identical on every target). Entry 0 is the 486.0 nm deuterium line,
 * entry 1 the 656.1 nm line, entries from 2 on the check's own lines. */
typedef struct WavelengthCheckResult {
    int16_t lineCount;              /* 4 (holmium) or 6 (mercury) */
    uint8_t padding[6];             /* never written */
    double referenceWavelength[8];  /* nm */
    double measuredWavelength[8];   /* nm, from the record's calibration */
    double deviation[8];            /* measured - reference, nm */
    double lineWidth[8];            /* full width at half height, nm */
    int32_t withinTolerance[8];     /* 1 when |deviation| <= |tolerance| */
} WavelengthCheckResult;

/* One line of the user-defined check (60 bytes). */
typedef struct UserCheckLine {
    int32_t targetWavelength; /* in: expected wavelength, 0.01 nm */
    int32_t halfWindow;       /* in: search half-window, 0.01-nm grid steps */
    int32_t allowedDeviation; /* in: largest accepted |difference|, 0.01 nm */
    int32_t foundWavelength;  /* out: wavelength of the extreme, 0.01 nm */
    int32_t difference;       /* out: target - found, 0.01 nm */
    int32_t findMinimum;      /* in: 0 = peak (maximum), else valley */
    int32_t passed;           /* out: 1 if |difference| <= allowedDeviation */
    int32_t reserved[8];      /* neither read nor written */
} UserCheckLine;

/* Lines in and results out of the user-defined check (244 bytes). */
typedef struct UserCheckList {
    int16_t checkCount; /* 1 to 4 */
    int16_t option;     /* must lie in 0 to 3; not otherwise used */
    UserCheckLine lines[4];
} UserCheckList;

/* The host's data source, reached through its table of methods. Only entry
 * 12 (GetSpectrum, __stdcall on 32-bit Windows) is called. */
typedef struct ISpectrumSource ISpectrumSource;
typedef struct ISpectrumSourceVtbl {
    void* otherMethods[12];
    /* On success: *count values in *values; (*wavelengths)[1..count] hold
     * the points' wavelengths and (*wavelengths)[0] the point count; both
     * arrays from CoTaskMemAlloc, freed by the library. */
    int32_t(LUMITRA_CALL* GetSpectrum)(ISpectrumSource* self, int32_t time, double** values,
                                       int32_t* count, int32_t** wavelengths, int32_t selectorA,
                                       int32_t zero, int32_t selectorB, int32_t one);
} ISpectrumSourceVtbl;
struct ISpectrumSource {
    const ISpectrumSourceVtbl* lpVtbl;
};

/* Request of the background subtraction (20 bytes on 32-bit targets, 32 on
 * 64-bit ones). */
typedef struct BGSubtractionRequest {
    int32_t spectrumTime;        /* time of the spectrum to correct */
    int32_t backgroundTime1;     /* time of the first background */
    int32_t backgroundTime2;     /* time of the second background */
    ISpectrumSource* dataSource; /* the host's data source */
    uint16_t selectorB;          /* passed through, zero-extended */
    int16_t selectorA;           /* passed through, sign-extended */
} BGSubtractionRequest;

/* UV spectrum record (48 bytes on 32-bit targets, 56 on 64-bit ones); its
 * arrays come from Tool_AllocateUVSpecData of the sibling library. */
typedef struct UVSpecData {
    int32_t time;
    int32_t pointCount;
    int32_t firstWavelength;
    int32_t lastWavelength;
    double maxValue;
    double minValue;
    double* values;
    int32_t* wavelengths;
    int32_t reserved1; /* set to 0 */
    int32_t reserved2; /* set to 0 */
} UVSpecData;

/* Table of Lumitra_IsWavelengthTableEqual: an unsigned 32-bit entry count
 * followed directly by that many int32 wavelengths. */
#define LUMITRA_COUNTED_TABLE_ENTRIES_OFFSET 4

/* Peak table of the chromatogram utilities: an int32 peak count at offset 0,
 * then one 1056-byte record per peak. Offsets from the start of the table of
 * the fields read in record k (all other bytes are the host's): */
#define LUMITRA_PEAK_RECORD_SIZE 1056
#define LUMITRA_PEAK_FLAGS_OFFSET 16          /* uint32 */
#define LUMITRA_PEAK_RETENTION_TIME_OFFSET 20 /* int32 */
#define LUMITRA_PEAK_START_TIME_OFFSET 72     /* int32 */
#define LUMITRA_PEAK_END_TIME_OFFSET 76       /* int32 */

/* Wavelength list of the caption (164 bytes): list kind 2 has its count at
 * offset 0 and entries at offset 4, list kind 1 its count at offset 2 and
 * entries at offset 84. */
typedef struct LambdaListEntry {
    int32_t wavelength; /* 0.01 nm */
    int32_t reserved;   /* not read */
} LambdaListEntry;
typedef struct LambdaList {
    uint16_t count2;
    uint16_t count1;
    LambdaListEntry list2[10];
    LambdaListEntry list1[10];
} LambdaList;

/* Entry points of the sibling libraries that the library calls. */
typedef int32_t(LUMITRA_CALL* LumitraRefinePositionFn)(int32_t count, int32_t index, double* result,
                                                      const double* spectrum, int32_t subSteps);
typedef int32_t(LUMITRA_CALL* LumitraAllocateUVSpecDataFn)(UVSpecData* record, int32_t count);

/* ------------------------------------------------------------------------ */
/* Wavelength tables                                                         */
/* ------------------------------------------------------------------------ */

/* The 512 element wavelengths of a calibration, in 0.01 nm truncated.
 * display: not read. n: table multiple; the buffer holds n*512 entries of
 * which the first 512 are the wavelengths and the rest 0.
 * E_INVALIDARG: record, table or count null, or n < 1; nothing is written.
 * Otherwise *table = NULL and *count = 0 first; E_OUTOFMEMORY leaves them
 * so; S_OK sets *table (free with CoTaskMemFree) and *count = n*512. */
LUMITRA_API int32_t LUMITRA_CALL Lumitra_GetWavelengthTable(int32_t display,
                                                           const CalibrationRecord* record,
                                                           int16_t n, int32_t** table,
                                                           int32_t* count);

/* display 0: exactly Lumitra_GetWavelengthTable. display != 0: the display
 * grid 19000, 19100 .. 80000 (611 entries, n*611 allocated, rest 0); the
 * record is not read but must be given. Validation and outputs as above. */
LUMITRA_API int32_t LUMITRA_CALL Lumitra_GetWavelengthTableForDisplay(
    int32_t display, const CalibrationRecord* record, int16_t n, int32_t** table, int32_t* count);

/* The calibrated fractional element number (1 = first element) of a
 * wavelength in 0.01 nm. display: not read.
 * E_INVALIDARG: record or position null, nothing written. Else S_OK. */
LUMITRA_API int32_t LUMITRA_CALL Lumitra_GetPdaCorrectedEleNo(int32_t display,
                                                             const CalibrationRecord* record,
                                                             int32_t wavelength, double* position);

/* Compares two counted tables (LUMITRA_COUNTED_TABLE_ENTRIES_OFFSET) on
 * their "%5ld" text form. On return, unless all three outputs are 65535
 * (no common stretch), entries startA..endA of A equal the entries of B
 * from startB on. E_INVALIDARG if any pointer is null (outputs untouched);
 * E_OUTOFMEMORY (outputs 65535) when the texts' working buffer cannot be
 * allocated; otherwise S_OK. */
LUMITRA_API int32_t LUMITRA_CALL Lumitra_IsWavelengthTableEqual(const void* tableA,
                                                               const void* tableB,
                                                               uint16_t* startA, uint16_t* endA,
                                                               uint16_t* startB);

/* Index of the entry nearest to target (ties go to the entry above), as a
 * 16-bit value zero-extended; 0 when n < 1 or table is null (the table is
 * then not read). */
LUMITRA_API int32_t LUMITRA_CALL Lumitra_FindTargetElement(int32_t target, const int32_t* table,
                                                          int32_t n);

/* Range of element indices for a wavelength range: first is the lowest
 * element at or above wavelength1, last the highest at or below
 * wavelength2 (exchanged when first > last).
 * E_INVALIDARG with nothing written: first or last null; for different
 * wavelengths table null or n < 1; for equal ones table null with n >= 1
 * (equal wavelengths and n < 1 give 0 and 0). Otherwise S_OK. */
LUMITRA_API int32_t LUMITRA_CALL Lumitra_GetElementIndexFromWavelengthTable(
    int32_t wavelength1, int32_t wavelength2, const int32_t* table, int32_t n, uint16_t* first,
    uint16_t* last);

/* ------------------------------------------------------------------------ */
/* Numerical kernels                                                         */
/* ------------------------------------------------------------------------ */

/* Refines a sampled series onto a finer grid (see SplineRequest).
 * Sub-step spline mode (mode != 0, F = subSteps, N = outCount): a clamped
 * cubic spline through samples i0..i1 (i0 the last sample below startX, i1
 * the first from i0 on reaching endX), evaluated F times per interval, and
 * the abscissae refined linearly. The caller sizes outX for q*F + 1 values
 * (q = N / F, so at most N + 1) and outY for i0*F + n + 1 values, where n
 * is the integer part of m / (1.0 / F) for m = i1 - i0 + 1 knots (m*F when
 * F is a power of two); both are N when N = q*F + 1 and the range ends at
 * the last sample.
 * Midpoint mode (mode 0): three passes that each insert the middle of every
 * interval up to endX; all four arrays need room for the eight-fold series
 * of the points up to endX, the midpoint after it and, up to index
 * outCount, the four values after that, which the four-point rule reads;
 * afterwards inX/inY hold the four-fold series.
 * E_INVALIDARG, nothing written: request null; sub-steps <= 0, q < 2,
 * fewer than 2 or more than 1025 knots, more than 65536 evaluation points;
 * in either mode a range scan that reaches index outCount - 1 without
 * meeting endX or a 0.0 abscissa there (or would read beyond it), since it
 * would run past the caller's samples; a sub-step request whose outputs
 * could not fit in this address space.
 * Otherwise outX/outY[0..outCount-1] are cleared first and the outputs are
 * written as stated above, also past outCount; the result is S_OK, or
 * E_OUTOFMEMORY (sub-step mode) with the outputs left cleared. Input and
 * output arrays must not overlap. */
LUMITRA_API int32_t LUMITRA_CALL Lumitra_SplineInterpolation(SplineRequest* request);

/* Subtracts from every sample the mean of the samples within halfWidth on
 * either side (window clipped at the ends), in place. halfWidth 0: nothing
 * changes. E_OUTOFMEMORY: count negative or count*8 beyond 32 bits, or no
 * memory; the signal is untouched. __cdecl on 32-bit Windows. */
LUMITRA_API int32_t LUMITRA_CDECL Lumitra_FiltrateLowFrequency(double* signal, int32_t count,
                                                              uint32_t halfWidth);

/* ------------------------------------------------------------------------ */
/* Wavelength calibration                                                    */
/* ------------------------------------------------------------------------ */

/* Locates the 656.1 nm line in spectrum1 and the 360.8 nm line in spectrum2
 * (each less its optional dark) and writes {36080, pos1, 65610, pos2}.
 * method 0: 64-sub-step fine grid; any other value: refinement through the
 * sibling library (KESTRONA.DLL ordinal 17; libkestrona.so symbol
 * KESTRONA_Ordinal17 on Linux).
 * E_INVALIDARG: spectrum1, spectrum2 or record null. E_OUTOFMEMORY.
 * E_FAIL: sibling library missing or without its entry; fine-grid method
 * with no anchor line found (no value above -1e10 in its window).
 * E_CALIBRATION_RANGE: the new record is written but would put 190 nm
 * below position 3.0 or 800 nm beyond 510.0. The record is written only on
 * S_OK and E_CALIBRATION_RANGE. */
LUMITRA_API int32_t LUMITRA_CALL Lumitra_DoWavelengthCalibration(int32_t method,
                                                                const double* dark1,
                                                                const double* spectrum1,
                                                                const double* dark2,
                                                                const double* spectrum2,
                                                                CalibrationRecord* record);

/* Moves both positions of record by the same amount so that position 2
 * becomes the half-height centre of the 656.1 nm line in spectrum.
 * E_INVALIDARG: a null pointer. E_OUTOFMEMORY. E_FAIL: no anchor line, or
 * a line without positive width. The record changes only on S_OK. */
LUMITRA_API int32_t LUMITRA_CALL Lumitra_DoWavelengthCalibrationForWideSlit(
    const double* spectrum, CalibrationRecord* record);

/* kind 0: two-line calibration without darks; kind 1: wide-slit
 * calibration of spectrum1. On success with method 0 the spectra used are
 * copied into the optional copy1/copy2 (512 doubles each).
 * E_INVALIDARG for any other kind, nothing touched. */
LUMITRA_API int32_t LUMITRA_CALL Lumitra_DoWavelengthCalibrationEx(
    int32_t method, const double* spectrum1, const double* spectrum2, double* copy1,
    double* copy2, CalibrationRecord* record, int32_t kind);

/* ------------------------------------------------------------------------ */
/* Wavelength accuracy checks                                                */
/* ------------------------------------------------------------------------ */

/* Deuterium lines 486.0/656.1 nm and, with a holmium spectrum, holmium
 * bands 287.6/360.8 nm. reserved: not read. tolerance: nm, by absolute
 * value. E_INVALIDARG: calibration, d2 or result null (nothing written).
 * Then lineCount and the reference wavelengths are written before anything
 * else. E_OUTOFMEMORY; a failing filter gives E_OUTOFMEMORY with all lines
 * evaluated on unfiltered data. Search windows are clamped to the fine
 * spectrum; a midpoint line without a measurable width reports NaN
 * measured wavelength and deviation and withinTolerance 0. */
LUMITRA_API int32_t LUMITRA_CALL Lumitra_DoWavelengthCheckD2Ho(
    int32_t reserved, double tolerance, const CalibrationRecord* calibration,
    const double* d2Background, const double* d2, const double* hoBackground, const double* ho,
    WavelengthCheckResult* result);

/* Deuterium lines and mercury lines 253.7 (in hg1), 404.7, 435.8, 546.1 nm
 * (in hg2). E_INVALIDARG: calibration, d2, hg1, hg2 or result null. Other
 * statuses and open points as for Lumitra_DoWavelengthCheckD2Ho. */
LUMITRA_API int32_t LUMITRA_CALL Lumitra_DoWavelengthCheckD2Hg(
    int32_t reserved, double tolerance, const CalibrationRecord* calibration,
    const double* background, const double* d2, const double* hg1, const double* hg2,
    WavelengthCheckResult* result);

/* Up to four lines of the caller's choice on the difference second - first
 * resampled to 0.01 nm. display 0: element spectra (512 values); otherwise
 * display-grid spectra (611 values, knots 19000 + 100*i).
 * E_INVALIDARG, nothing written: a null pointer, checkCount outside 1..4,
 * option outside 0..3. E_OUTOFMEMORY (lines untouched). E_FAIL: a
 * calibration whose element wavelengths do not increase, or the spline's
 * value array not obtainable (its set-up reports that as a failure).
 * Then the lines are taken in order; the first that fails ends the call
 * with the lines before it written and the later ones untouched: E_FAIL
 * for a target outside 19000..80000 or a window reaching outside the grid,
 * E_INVALIDARG for a negative halfWindow whose window lies inside the grid
 * (it holds no point to take). Within a window ties keep the lowest
 * wavelength. */
LUMITRA_API int32_t LUMITRA_CALL Lumitra_DoUserDefinedWavelengthCheck(
    int32_t display, const CalibrationRecord* calibration, const double* first,
    const double* second, UserCheckList* lines);

/* ------------------------------------------------------------------------ */
/* Lamp diagnostics                                                          */
/* ------------------------------------------------------------------------ */

/* Value at 230 nm and maximum in 200..260 nm of a deuterium lamp spectrum.
 * display != 0: spectrum on the display grid; wavelengths and n not read.
 * display 0: n values at strictly increasing wavelengths, 3 <= n <= 1024.
 * No value in the band: maximum -2147483648.0 and wavelength -1. The
 * reference value (display 0) is the rounded clamped spline through the
 * truncated values, 0 outside the table's range.
 * E_INVALIDARG: a null pointer the call would use, or n > 1024 (display
 * 0); nothing written. E_FAIL: n < 3 or wavelengths not increasing (also
 * when the spline's value array cannot be allocated: its set-up reports
 * that as E_FAIL). E_OUTOFMEMORY. Outputs are written only on S_OK. */
LUMITRA_API int32_t LUMITRA_CALL Lumitra_GetD2LampSpectrumMaxInfo(
    int32_t display, const int32_t* wavelengths, int32_t n, const double* spectrum,
    double* reference, double* maximum, int32_t* maximumWavelength);

/* The same for a tungsten lamp: value at 600 nm, maximum in 400..800 nm. */
LUMITRA_API int32_t LUMITRA_CALL Lumitra_GetWLampSpectrumMaxInfo(
    int32_t display, const int32_t* wavelengths, int32_t n, const double* spectrum,
    double* reference, double* maximum, int32_t* maximumWavelength);

/* Largest value (NaN skipped), truncated toward zero; -2147483648 when
 * count <= 0. E_INVALIDARG: values or maximum null, nothing written. */
LUMITRA_API int32_t LUMITRA_CALL Lumitra_GetMaxVoltage(const double* values, int32_t count,
                                                      int32_t* maximum);

/* ------------------------------------------------------------------------ */
/* Chromatogram and spectrum utilities                                       */
/* ------------------------------------------------------------------------ */

/* First and last peak (1-based) of the base of peak. E_ABORT: no peak in
 * the table. E_INVALIDARG: peak outside 1..peakCount. Outputs written only
 * on S_OK. The backward moves stop at the first record of the table. */
LUMITRA_API int32_t LUMITRA_CALL Lumitra_GetBasePeaks(const void* peakTable, int32_t peak,
                                                     int32_t* first, int32_t* last);

/* Start time of the first and end time of the last peak of the base of
 * peak. Statuses as Lumitra_GetBasePeaks. */
LUMITRA_API int32_t LUMITRA_CALL Lumitra_GetBaseTimes(const void* peakTable, int32_t peak,
                                                     int32_t* start, int32_t* end);

/* Peak number (1-based) whose start..end holds time and whose retention
 * time is nearest (ties to the first); with fallback 1 the nearest
 * retention time over all peaks when none holds it; else 0. */
LUMITRA_API int32_t LUMITRA_CALL Lumitra_GetPeakFromRT(const void* peakTable, int32_t time,
                                                      int16_t fallback);

/* Base times of the peak at time (no fallback). E_ABORT: no peak there. */
LUMITRA_API int32_t LUMITRA_CALL Lumitra_GetBaseTimesFromRT(const void* peakTable, int32_t time,
                                                           int32_t* start, int32_t* end);

/* Spectrum at spectrumTime less the background interpolated in time
 * between the two background spectra (equal background times with
 * different values give IEEE infinities or NaN). On success *values (count
 * doubles) and *wavelengths (count*4 + 4 bytes: element 0 copied from the
 * spectrum's array, then the wavelengths; an empty spectrum gets 8 bytes
 * {count, 0}) are new CoTaskMemAlloc buffers, and the status is that of
 * the last GetSpectrum call. Statuses: a failing GetSpectrum's own;
 * E_UNEXPECTED when counts or wavelengths differ, or a source reports a
 * negative count or success without the arrays; E_OUTOFMEMORY. Out-
 * parameters are written only on success. Every array received from the
 * data source is freed on every path. request and the out-parameters are
 * not tested. */
LUMITRA_API int32_t LUMITRA_CALL Lumitra_GetBGSubtractedSpectrum(
    const BGSubtractionRequest* request, double** values, int32_t* count, int32_t** wavelengths);

/* The same as a UVSpecData record whose arrays come from
 * Tool_AllocateUVSpecData of Varnex2.dll (libvarnex2.so on Linux), looked
 * up once per process; the sibling then stays loaded. The record is
 * cleared, then filled; maxValue/minValue start at -/+DBL_MAX.
 * E_UNEXPECTED: sibling not loadable (record untouched) or wavelength
 * element 0 differs from the count (record all zero). E_NOINTERFACE: no
 * Tool_AllocateUVSpecData (record untouched; the next call tries again).
 * The statuses of Lumitra_GetBGSubtractedSpectrum (record all zero). A
 * failing allocator's status (record as it left it); on success the
 * allocator's status. */
LUMITRA_API int32_t LUMITRA_CALL Lumitra_GetBGSubtractedUVSpecData(
    const BGSubtractionRequest* request, UVSpecData* result);

#ifdef __cplusplus
} /* extern "C" */

/* Caption of a wavelength list (LambdaList), for example "254.00/280.00".
 * options: bits 0-7 list kind (1 or 2), bit 8 first entry only (never an
 * empty caption: " "). decimals < 0 counts as 0. The caption is emptied
 * first. E_INVALIDARG: another list kind, or a count above 10 (signed
 * 16-bit). E_OUTOFMEMORY: the string could not grow (caption emptied).
 * C++ only: the caller shares its std::string with the library. */
extern "C" LUMITRA_API int32_t LUMITRA_CALL Lumitra_GetStringLambdaMinMax(int32_t options,
                                                                          std::string& caption,
                                                                          const void* list,
                                                                          int16_t decimals);
#endif

#endif /* LUMITRA_LUMITRA_H */
