// Correctly rounded arctangent, cosine and sine (to nearest, ties to even):
// the one double nearest the exact value, the same on every machine and
// C library. The Jacobi rotation takes its angle and its cosine and sine
// from here, so that reconstructions are bit-identical everywhere.
//
// Each function first evaluates in double-double arithmetic (about 100
// correct bits) and rounds; when the result lies so close to a rounding
// boundary that an error of 2^-75 relative could change it (a chance of
// about 2^-22 per call), it falls back to MPFR at 53 bits, which rounds
// correctly by construction. NaN comes back as it went in.
#pragma once

namespace korvale {

double cr_atan(double x);
// Fast for |x| <= 0.8 (the rotation's angles lie in [-pi/4, pi/4]); MPFR
// alone beyond.
double cr_cos(double x);
double cr_sin(double x);

}  // namespace korvale
