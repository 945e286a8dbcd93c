#!/usr/bin/env bash
# The library's words against dna_reference.py, which computes them from
# the formulas with numpy, for WAV files of several rates and layouts.
set -euo pipefail
tool=${FINGERPRINT:?}
fixtures=${AUDIO_FIXTURES:?}
here=$(dirname "$0")
status=0
for name in stereo44k mono8k mono22k twin22k stereo96k; do
    if diff <(/usr/bin/python3 "$here/dna_reference.py" "$fixtures/$name.wav") \
            <("$tool" "$fixtures/$name.wav"); then
        echo "$name.wav: same 32 words"
    else
        echo "$name.wav: words differ" >&2
        status=1
    fi
done
exit $status
