#include "face/meg_spctm_cc_data_facezq.h"

#include <type_traits>

// The layers add member functions only: one object carries them all, and a
// pointer to any layer may stand for the collection.
static_assert(sizeof(CMEGSpctmCCDataFacezq) == sizeof(CMEGSpctmCCDataFace));
static_assert(!std::is_copy_constructible_v<CMEGSpctmCCDataFacezq> &&
              !std::is_copy_assignable_v<CMEGSpctmCCDataFacezq>);
