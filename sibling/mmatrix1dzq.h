// CMMatrix1Dzq: the vector type a trial dataset holds; adds nothing to its
// layers.
#pragma once

#include "sibling/mmatrix1d9_file.h"

class CMMatrix1Dzq : public CMMatrix1D9File {};
