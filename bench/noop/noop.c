/*
 * _qlnoop: the yardstick for the per-call benchmarks.
 *
 * One type, Noop, whose methods are called exactly the way Graph's are (a
 * bound method on an instance, registered METH_VARARGS | METH_KEYWORDS,
 * METH_FASTCALL | METH_KEYWORDS or METH_NOARGS) but do no work.  Timing
 * `f(u, v)` or `f(u)` in a Python loop with f one of these methods gives the
 * cost of the loop plus the interpreter's call machinery for that calling
 * convention, which is the floor any native add_edge, adjacent or degree
 * registered the same way can approach.
 *
 * bench/bench_calls.py compiles this file at run time into bench/_cache/;
 * no binary is ever committed.
 */
#define PY_SSIZE_T_CLEAN
#include <Python.h>

typedef struct {
    PyObject_HEAD
} NoopObject;

/*
 * The calling convention of Graph's methods with parameters: a positional
 * tuple and a keyword dict, which the interpreter builds for every call.
 * Takes any arguments and ignores them; returns True.
 */
static PyObject *
noop_varargs_keywords(PyObject *self, PyObject *args, PyObject *kwargs)
{
    (void)self;
    (void)args;
    (void)kwargs;
    Py_RETURN_TRUE;
}

/* The vectorcall convention, which skips the argument tuple; ignores its arguments. */
static PyObject *
noop_add_edge(PyObject *self, PyObject *const *args, Py_ssize_t nargs,
              PyObject *kwnames)
{
    (void)self;
    (void)args;
    (void)nargs;
    (void)kwnames;
    Py_RETURN_TRUE;
}

/*
 * Like add_edge, but also converts both arguments to u32 the cheap way
 * (exact int, no __index__ fallback).  Not a target, only a reading aid: it
 * shows how much of a real method's cost is argument conversion.
 */
static PyObject *
noop_add_edge_convert(PyObject *self, PyObject *const *args, Py_ssize_t nargs,
                      PyObject *kwnames)
{
    (void)self;
    if (nargs != 2 || kwnames != NULL) {
        PyErr_SetString(PyExc_TypeError, "add_edge_convert(u, v)");
        return NULL;
    }
    for (Py_ssize_t i = 0; i < 2; i++) {
        unsigned long long x = PyLong_AsUnsignedLongLong(args[i]);
        if (x == (unsigned long long)-1 && PyErr_Occurred())
            return NULL;
        if (x > 0xFFFFFFFFull) {
            PyErr_SetNone(PyExc_OverflowError);
            return NULL;
        }
    }
    Py_RETURN_TRUE;
}

static PyObject *
noop_noargs(PyObject *self, PyObject *unused)
{
    (void)self;
    (void)unused;
    Py_RETURN_TRUE;
}

static PyMethodDef noop_methods[] = {
    {"varargs_keywords", (PyCFunction)(void (*)(void))noop_varargs_keywords,
     METH_VARARGS | METH_KEYWORDS, "Does nothing; returns True."},
    {"add_edge", (PyCFunction)(void (*)(void))noop_add_edge,
     METH_FASTCALL | METH_KEYWORDS, "Does nothing; returns True."},
    {"add_edge_convert", (PyCFunction)(void (*)(void))noop_add_edge_convert,
     METH_FASTCALL | METH_KEYWORDS,
     "Converts two ints to u32 and returns True."},
    {"noargs", noop_noargs, METH_NOARGS, "Does nothing; returns True."},
    {NULL, NULL, 0, NULL},
};

static PyTypeObject NoopType = {
    PyVarObject_HEAD_INIT(NULL, 0)
    .tp_name = "_qlnoop.Noop",
    .tp_basicsize = sizeof(NoopObject),
    .tp_flags = Py_TPFLAGS_DEFAULT,
    .tp_doc = "Methods that do nothing, called like Graph's.",
    .tp_methods = noop_methods,
    .tp_new = PyType_GenericNew,
};

static struct PyModuleDef noop_module = {
    PyModuleDef_HEAD_INIT,
    .m_name = "_qlnoop",
    .m_doc = "No-op methods for call-overhead baselines.",
    .m_size = -1,
};

PyMODINIT_FUNC
PyInit__qlnoop(void)
{
    if (PyType_Ready(&NoopType) < 0)
        return NULL;
    PyObject *m = PyModule_Create(&noop_module);
    if (m == NULL)
        return NULL;
    Py_INCREF(&NoopType);
    if (PyModule_AddObject(m, "Noop", (PyObject *)&NoopType) < 0) {
        Py_DECREF(&NoopType);
        Py_DECREF(m);
        return NULL;
    }
    return m;
}
