#!/usr/bin/env bash
# Prints the architecture the tests run in: i686 where the kernel runs 32-bit code (Wine's 32-bit
# loader needs it), else x86_64 (some virtual machines refuse 32-bit processes outright).
if /lib/ld-linux.so.2 --version >/dev/null 2>&1; then echo i686; else echo x86_64; fi
