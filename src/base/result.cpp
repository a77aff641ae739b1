// The subject of the failure to be shown later (see result.h).
#include "base/result.h"

char SubjectPath[kPathSize];
