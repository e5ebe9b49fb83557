#include "xc/kernels/Span.h"

namespace tev {

void Span_Weights(const int32_t *a, const uint8_t *d, const double *weight, const uint8_t *alphaOut,
                  double *w, double *omw, uint8_t *alpha, int n)
{
    for (int i = 0; i < n; ++i) {
        int k = a[i] * 256 + (d ? d[i] : 255);
        double wi = weight[k];
        w[i] = wi;
        omw[i] = 1.0 - wi;
        alpha[i] = alphaOut[k];
    }
}

void Span_Blend8(uint8_t *dst, const double *w, const double *omw, const int32_t *v, int n)
{
    for (int i = 0; i < n; ++i)
        dst[i] = static_cast<uint8_t>(static_cast<int32_t>(omw[i] * dst[i] + w[i] * v[i]));
}

void Span_Blend8Const(uint8_t *dst, const double *w, const double *omw, int32_t v, int n)
{
    double dv = v;
    for (int i = 0; i < n; ++i)
        dst[i] = static_cast<uint8_t>(static_cast<int32_t>(omw[i] * dst[i] + w[i] * dv));
}

} // namespace tev
