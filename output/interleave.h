// Widening mono sample runs to the stereo frames the device is opened for.
#ifndef KESTRUNE_OUTPUT_INTERLEAVE_H_
#define KESTRUNE_OUTPUT_INTERLEAVE_H_

// Copies sample k of `left` and of `right` to frame k of `out`, for k below
// `frames`. Handles 2- and 3-byte samples; leaves `out` alone otherwise.
// With the same buffer as `left` and `right`, the samples of a mono file
// are heard on both channels; on a processor with AVX2 this runs as vector
// byte shuffles.
void Interleave(long frames, unsigned bytesPerSample, const char* left,
                const char* right, char* out);

// The same with the plain loop only: what the vector path must match.
void InterleavePortable(long frames, unsigned bytesPerSample, const char* left,
                        const char* right, char* out);

#endif  // KESTRUNE_OUTPUT_INTERLEAVE_H_
