/* A plain C host of the installed library: the default wavelength table. */
#include <stdio.h>

#include <lumitra/lumitra.h>

int main(void) {
    const CalibrationRecord uncalibrated = {0, 0, 0, 0};
    int32_t* table = NULL;
    int32_t count = 0;
    if (Lumitra_GetWavelengthTable(0, &uncalibrated, 1, &table, &count) < 0) return 1;
    printf("%d entries %d .. %d\n", (int)count, (int)table[0], (int)table[count - 1]);
    CoTaskMemFree(table);
    return 0;
}
