// TNewZLib: the archive component the update creates (without owner). Adds nothing to
// TZLibArchive.
#pragma once
#include "ZLIBArchive.h"

class TNewZLib : public TZLibArchive {
 public:
  using TZLibArchive::TZLibArchive;
};
