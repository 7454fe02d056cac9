/* lumitra-table: prints the wavelength scale of a diode array for a
 * calibration record given as four integers (default: uncalibrated).
 *
 *   lumitra-table [wavelength1 position1 wavelength2 position2]
 */
#include <stdio.h>
#include <stdlib.h>

#include <lumitra/lumitra.h>

static void print_range(const char* label, const int32_t* table, int32_t count) {
    printf("%-22s %d entries: %.2f, %.2f, %.2f ... %.2f, %.2f, %.2f nm\n", label, (int)count,
           table[0] / 100.0, table[1] / 100.0, table[2] / 100.0, table[count - 3] / 100.0,
           table[count - 2] / 100.0, table[count - 1] / 100.0);
}

int main(int argc, char** argv) {
    CalibrationRecord record = {0, 0, 0, 0};
    int32_t* table = NULL;
    int32_t count = 0;
    double position = 0.0;
    if (argc == 5) {
        record.wavelength1 = (int32_t)strtol(argv[1], NULL, 10);
        record.position1 = (int32_t)strtol(argv[2], NULL, 10);
        record.wavelength2 = (int32_t)strtol(argv[3], NULL, 10);
        record.position2 = (int32_t)strtol(argv[4], NULL, 10);
    } else if (argc != 1) {
        fprintf(stderr, "usage: %s [wavelength1 position1 wavelength2 position2]\n", argv[0]);
        return 2;
    }
    printf("calibration record     {%d, %d, %d, %d}%s\n", (int)record.wavelength1,
           (int)record.position1, (int)record.wavelength2, (int)record.position2,
           record.position1 == 0 && record.position2 == 0 ? " (uncalibrated: default dispersion)"
                                                          : "");
    if (Lumitra_GetWavelengthTable(0, &record, 1, &table, &count) < 0) {
        fprintf(stderr, "lumitra-table: the wavelength table could not be computed\n");
        return 1;
    }
    print_range("element wavelengths", table, count);
    CoTaskMemFree(table);
    if (Lumitra_GetWavelengthTableForDisplay(1, &record, 1, &table, &count) < 0) return 1;
    print_range("display grid", table, count);
    CoTaskMemFree(table);
    if (Lumitra_GetPdaCorrectedEleNo(0, &record, 65610, &position) < 0) return 1;
    printf("656.10 nm falls on     element %.4f\n", position);
    if (Lumitra_GetPdaCorrectedEleNo(0, &record, 36080, &position) < 0) return 1;
    printf("360.80 nm falls on     element %.4f\n", position);
    return 0;
}
