// Widening mono sample runs to the stereo frames the device is opened for.
#ifndef KESTRUNE_OUTPUT_INTERLEAVE_H_
#define KESTRUNE_OUTPUT_INTERLEAVE_H_

// Copies sample k of `left` and of `right` to frame k of `out`, for k below
// `frames`. Handles 2- and 3-byte samples; leaves `out` alone otherwise.
void Interleave(long frames, unsigned bytesPerSample, const char* left,
                const char* right, char* out);

#endif  // KESTRUNE_OUTPUT_INTERLEAVE_H_
