"""Velkit: command-line tools for laboratory and office chores (see `vel-kit --help`)."""
