// CSumCCSpctmDatazq: the summary record type the library hands out; adds
// nothing to its layers.
#pragma once

#include "summary/sum_cc_spctm_data09_file.h"

class CSumCCSpctmDatazq : public CSumCCSpctmData09File {};
