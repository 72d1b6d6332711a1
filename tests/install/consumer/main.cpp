// A host program built only against an installed megcxc: a 3 x 3 sensor
// collection, one cross-spectrum 3 + 4i, its magnitude derived by the library.
#include <cstdio>

#include "megcxc.h"

int main() {
  CMEGSpctmCCDataFacezq collection;
  CSpctmTrlCCDatazq* active = collection.checkInitSpctmCxCData4Class(0, 3, 3, 2, 4, true, 1, 1, nullptr, nullptr);
  if (active == nullptr) return 1;
  CSpctmChnChnDatazq* pair = active->getSnsActCC(1, 2);
  pair->plane[0][1][3] = 3.0, pair->plane[1][1][3] = 4.0;
  if (active->computeMagnitude(0) != 1) return 1;
  std::printf("megcxc consumer: %d dataset, magnitude %.1f\n", collection.getTotalSpctmDataSets(),
              pair->getSpctmValue(1, 3, 2));
  return 0;
}
