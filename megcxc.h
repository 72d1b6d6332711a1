// megcxc: time-frequency cross-spectral data between every pair of MEG sensors.
// Umbrella header: declares every exported class of the core library.
#pragma once

#include "platform/alloc_hook.h"
#include "platform/carchive.h"
#include "platform/cdialog.h"
#include "platform/cexception.h"
#include "platform/cfile.h"
#include "platform/cstring.h"
#include "platform/message_box.h"

#include "sibling/mmatrix1dzq.h"
#include "spectral/spctm_basicx.h"
#include "spectral/spctm_chn_chn_data.h"
#include "spectral/spctm_chn_chn_data01_function.h"
#include "spectral/spctm_chn_chn_data03_process.h"
#include "spectral/spctm_chn_chn_data06_show.h"
#include "spectral/spctm_chn_chn_data09_file.h"
#include "spectral/spctm_chn_chn_datazq.h"
#include "summary/sum_cc_spctm_data.h"
#include "summary/sum_cc_spctm_data09_file.h"
#include "summary/sum_cc_spctm_datazq.h"
#include "trial/spctm_trl_cc_data.h"
#include "trial/spctm_trl_cc_data03_process.h"
#include "trial/spctm_trl_cc_data08_show.h"
#include "trial/spctm_trl_cc_data09_file.h"
#include "trial/spctm_trl_cc_datazq.h"
