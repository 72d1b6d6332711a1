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
