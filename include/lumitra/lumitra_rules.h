/*
 * lumitra_rules.h -- Linux only: what the library decides with, for bindings
 *
 * A binding that checks its inputs before it calls the library, or explains
 * a result afterwards, needs the library's own numbers: its version, its
 * limits, the grating model, the range test of a new calibration, and the
 * windows in which each operation searches its lines. These functions give
 * them, so that no binding keeps a copy that could drift from the library.
 *
 * They exist only in liblumitra.so. The Windows DLLs export exactly their
 * 24 functions and nothing of this header.
 *
 * Conventions as in lumitra.h: results are status codes (negative on
 * failure), every pointer argument is tested (E_INVALIDARG, nothing
 * written), nothing is thrown, nothing is kept between calls.
 */
#ifndef LUMITRA_LUMITRA_RULES_H
#define LUMITRA_LUMITRA_RULES_H

#include "lumitra/lumitra.h"

#if !defined(_WIN32)

#ifdef __cplusplus
extern "C" {
#endif

/* ------------------------------------------------------------------------ */
/* Identity and limits                                                       */
/* ------------------------------------------------------------------------ */

/* The library's version, for example "1.0.0.1" (a static string). */
LUMITRA_API const char* LumitraInfo_Version(void);

/* Numbers the exports decide with. Wavelengths in nm unless the name says
 * otherwise, positions in elements (element 1 = 1.0). */
typedef struct LumitraLimits {
    int32_t elementCount;        /* 512 diode elements */
    int32_t displayGridCount;    /* 611 points of the display grid */
    double displayGridFirst;     /* 190.0 nm: first point of the display grid */
    double displayGridLast;      /* 800.0 nm: its last point */
    int32_t fineSteps;           /* 64 samples per element on the fine grid */
    int32_t fineCount;           /* 32,832 samples of a fine spectrum */
    double fineValueLimit;       /* largest |value| an element spectrum may hold to
                                    be resampled onto the fine grid (it is held in
                                    thousandths in 32-bit integers) */
    int32_t filterHalfWidth;     /* 640 fine samples: the low-frequency filter of
                                    the calibration and the holmium check */
    int32_t baselineElements;    /* 20: a line's base is taken this far either side */
    double rangeLowWavelength;   /* range test: this wavelength ...           */
    double rangeLowPosition;     /*   ... must not fall below this position,  */
    double rangeHighWavelength;  /* and this one ...                          */
    double rangeHighPosition;    /*   ... not beyond this one                 */
    int32_t calibrationLine1;    /* 36080: line 1 of every calibrated record, 0.01 nm */
    int32_t calibrationLine2;    /* 65610: line 2 (the anchor), 0.01 nm */
    int32_t userCheckMaxLines;   /* 4 lines at most in the user-defined check */
    int32_t userCheckMaxOption;  /* 3: its option lies in 0 .. this */
    int32_t lampMinPoints;       /* 3: a lamp spectrum on a wavelength table ... */
    int32_t lampMaxPoints;       /* 1024: ... has this many points at most */
    double d2LampReference;      /* 230.0 nm: reference wavelength, deuterium lamp */
    double d2BandFirst;          /* 200.0 nm: its band ... */
    double d2BandLast;           /* 260.0 nm */
    double wLampReference;       /* 600.0 nm: reference wavelength, tungsten lamp */
    double wBandFirst;           /* 400.0 nm */
    double wBandLast;            /* 800.0 nm */
} LumitraLimits;

/* Fills *limits. E_INVALIDARG: limits null. */
LUMITRA_API int32_t LumitraInfo_GetLimits(LumitraLimits* limits);

/* ------------------------------------------------------------------------ */
/* Grating model and calibration record                                      */
/* ------------------------------------------------------------------------ */

/* Slope, model position and measured position that a record decodes into
 * (the default dispersion for an uncalibrated record). E_INVALIDARG: any
 * pointer null. */
LUMITRA_API int32_t LumitraModel_Decode(const CalibrationRecord* record, double* slope,
                                        double* modelPosition, double* measuredPosition);

/* Where a record puts each of count wavelengths (nm): the calibrated
 * position, as the checks place their windows. E_INVALIDARG: a pointer
 * null or count < 0. */
LUMITRA_API int32_t LumitraModel_PositionsOf(const CalibrationRecord* record, const double* nm,
                                             int32_t count, double* positions);

/* The wavelength (nm) a record gives each of count positions (elements),
 * as the wavelength tables do before their 0.01-nm cut. E_INVALIDARG: a
 * pointer null or count < 0. */
LUMITRA_API int32_t LumitraModel_WavelengthsAt(const CalibrationRecord* record,
                                               const double* positions, int32_t count,
                                               double* nm);

/* The nominal grating model without a record: the model position of each
 * wavelength (nm). E_INVALIDARG: a pointer null or count < 0. */
LUMITRA_API int32_t LumitraModel_NominalPositions(const double* nm, int32_t count,
                                                  double* positions);

/* The range test the calibration applies to the records it writes: S_OK
 * when rangeLowWavelength falls at or above rangeLowPosition and
 * rangeHighWavelength at or below rangeHighPosition (LumitraLimits),
 * E_CALIBRATION_RANGE otherwise. *lowPosition and *highPosition receive
 * where the record puts the two wavelengths (an uncalibrated record: the
 * default dispersion; the calibration itself never writes one that passes).
 * E_INVALIDARG: a pointer null (nothing written). */
LUMITRA_API int32_t LumitraModel_RangeTest(const CalibrationRecord* record, double* lowPosition,
                                           double* highPosition);

/* ------------------------------------------------------------------------ */
/* Line searches                                                             */
/* ------------------------------------------------------------------------ */

/* Operations whose line searches can be described, and the difference
 * spectra (spectrum less its dark or background) each one searches:
 *   CALIBRATION    the two-line calibration, method 0 (fine grid):
 *                  input 0 = spectrum1 - dark1, input 1 = spectrum2 - dark2
 *   REFINEMENT     the two-line calibration, method 1: the same inputs, the
 *                  coarse element maxima handed to the sibling library
 *   WIDE_SLIT      the wide-slit calibration: input 0 = the spectrum
 *   HOLMIUM_CHECK  input 0 = d2 - d2 background, 1 = holmium - its background
 *   MERCURY_CHECK  input 0 = d2 - background, 1 = hg1 - background,
 *                  2 = hg2 - background */
#define LUMITRA_OPERATION_CALIBRATION 0
#define LUMITRA_OPERATION_REFINEMENT 1
#define LUMITRA_OPERATION_WIDE_SLIT 2
#define LUMITRA_OPERATION_HOLMIUM_CHECK 3
#define LUMITRA_OPERATION_MERCURY_CHECK 4
#define LUMITRA_MAX_LINE_SEARCHES 8

/* One line search: where the operation looks for a line, in which data,
 * and (given the data) what it chooses there. Samples are 0-based: on the
 * fine grid (samplesPerElement 64) sample k is position 1 + k/64, on the
 * element values (samplesPerElement 1) sample i is element i + 1. */
typedef struct LumitraLineSearch {
    double reference;          /* the line, nm */
    int32_t input;             /* the difference searched (numbered as above) */
    int32_t samplesPerElement; /* 64: the fine grid; 1: the element values */
    int32_t filterHalfWidth;   /* the data are low-frequency filtered with this
                                  half-width (samples) first; 0: not filtered */
    int32_t firstSample;       /* the window, both ends included, within the
                                  samples the operation reads */
    int32_t lastSample;
    int32_t foundSample;       /* the sample the operation takes as the line: the
                                  first strictly greatest value above floor in
                                  the window; -1 when none exceeds floor, when
                                  the window is empty or when no data were given */
    double floor;              /* a value must exceed this to be chosen */
    double firstPosition;      /* the window in elements */
    double lastPosition;
    double foundPosition;      /* foundSample in elements; 0.0 when it is -1 */
} LumitraLineSearch;

/* Describes the line searches of an operation, in the order the operation
 * reports its lines (the checks: as the entries of WavelengthCheckResult;
 * the calibrations: as the lines of the record, 360.8 nm before 656.1 nm).
 * record: the checks centre their windows on it (the calibrations do not
 * read it, but it must be given). differences: an array of one pointer per
 * input (512 doubles each), or NULL for the checks to describe the windows
 * only; a NULL entry leaves the searches of that input unfound. The
 * calibration's 360.8 nm window lies relative to the 656.1 nm line found
 * (empty when none is found), so the calibrations (CALIBRATION,
 * REFINEMENT, WIDE_SLIT) need their differences.
 * Writes *count searches (at most LUMITRA_MAX_LINE_SEARCHES) and returns
 * S_OK. E_INVALIDARG: record, searches or count null, an unknown operation,
 * capacity below the operation's count, or a calibration without its
 * differences (nothing written). E_OUTOFMEMORY: no room for the fine
 * spectra (nothing written). */
LUMITRA_API int32_t LumitraRules_DescribeSearches(int32_t operation,
                                                  const CalibrationRecord* record,
                                                  const double* const* differences,
                                                  LumitraLineSearch* searches, int32_t capacity,
                                                  int32_t* count);

/* The data a search looks at, from a 512-value difference: with
 * samplesPerElement 64 the difference resampled onto the fine grid
 * (fineCount values) and filtered with filterHalfWidth; with 1 the 512
 * values themselves (filtered likewise). Writes *count values into data.
 * E_INVALIDARG: a pointer null, samplesPerElement neither 1 nor 64,
 * filterHalfWidth negative, or capacity below the count (nothing written).
 * E_OUTOFMEMORY (nothing written). */
LUMITRA_API int32_t LumitraRules_SearchedData(const double* difference, int32_t samplesPerElement,
                                              int32_t filterHalfWidth, double* data,
                                              int32_t capacity, int32_t* count);

#ifdef __cplusplus
} /* extern "C" */
#endif

#endif /* !_WIN32 */

#endif /* LUMITRA_LUMITRA_RULES_H */
