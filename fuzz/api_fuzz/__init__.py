"""Model-checked random fuzzing of the Python API of quiverlane.Graph."""
