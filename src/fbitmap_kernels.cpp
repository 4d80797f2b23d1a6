// Kernel dispatch: picks the specialised kernel for a job's operation and formats.
// (Until the specialised kernels land, jobs run through the reference path.)

#include "fbitmap_kernels.h"

void fbitmap_kernels_blit(const FBlitJob& job) { fbitmap_reference_blit(job); }
void fbitmap_kernels_fill(const FFillJob& job) { fbitmap_reference_fill(job); }
