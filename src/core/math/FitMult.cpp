#include "FitMult.h"

#include "ExtendedPrecision.h"

int MulFitFirstParam(bool constTerm) { return constTerm ? 0 : 1; }

int MulFitLastParam(int nvar) { return nvar; }

std::string MulFitParamName(int i) {
  std::string name(1, 'b');
  name += std::to_string(i);
  return name;
}

double MulFitFunc(TDoubleVector x, TDoubleVector B, int nvar, bool constTerm) {
  ExtendedPrecisionScope precision;
  double y = constTerm ? B[0] : 0.0;
  for (int j = 1; j <= nvar; ++j)
    y = static_cast<double>(static_cast<ExtFloat>(y) + static_cast<ExtFloat>(B[j]) * x[j]);
  return y;
}
