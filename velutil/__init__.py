"""Velkit's helper library: logging, JSON files, file search and moves, names."""
