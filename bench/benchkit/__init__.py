"""Shared pieces of the benchmark suites in bench/.

Everything here talks to quiverlane through its public Python API only, so the
suites run unchanged against any build of the module.
"""
