/*
 * _qlresultfloor: the cheapest way to turn a ready native array of vertex ids
 * into the Python objects Graph's methods return.
 *
 * Each function walks u32 ids (any C-contiguous buffer of format 'I', such
 * as array('I')) in a plain C loop and builds the result with the public C
 * API: PyLong_FromLong, PySet_New and PySet_Add, PyList_New, PyTuple_New.
 * No method can hand back a set, a list of sets or a list of pairs faster
 * than this without changing what it returns, so "our time / this time" is
 * how far a method is from the end of the road.
 *
 * The order the members go in is the caller's: the best order for a set is
 * ascending low bits of the id, the bits that pick its slot in the table the
 * set ends at (best_set_order below), so the table, and the ints made just
 * before each insertion, are written front to back.  Reordering is a setup
 * step and never timed.
 *
 * The benchmarks compile this file at run time into their cache directory;
 * no binary is ever committed.
 */
#define PY_SSIZE_T_CLEAN
#include <Python.h>
#include <stdint.h>
#include <stdlib.h>
#include <string.h>

typedef struct {
    Py_buffer view;
    const uint32_t *ids;
    Py_ssize_t count;
} IdArray;

static int
id_array_open(PyObject *source, IdArray *array)
{
    if (PyObject_GetBuffer(source, &array->view, PyBUF_C_CONTIGUOUS | PyBUF_FORMAT) < 0)
        return -1;
    const char *format = array->view.format;
    size_t length = format ? strlen(format) : 0;
    if (array->view.itemsize != 4 || length == 0 || format[length - 1] != 'I') {
        PyBuffer_Release(&array->view);
        PyErr_SetString(PyExc_TypeError, "expected a buffer of u32 ids (format 'I')");
        return -1;
    }
    array->ids = (const uint32_t *)array->view.buf;
    array->count = array->view.len / 4;
    return 0;
}

static void
id_array_close(IdArray *array)
{
    PyBuffer_Release(&array->view);
}

/* Adds ids[0..count) to set; returns -1 with an exception set on failure. */
static int
add_ids(PyObject *set, const uint32_t *ids, Py_ssize_t count)
{
    for (Py_ssize_t i = 0; i < count; i++) {
        PyObject *id = PyLong_FromLong((long)ids[i]);
        if (id == NULL)
            return -1;
        int failed = PySet_Add(set, id);
        Py_DECREF(id);
        if (failed)
            return -1;
    }
    return 0;
}

static PyObject *
new_set_of(const uint32_t *ids, Py_ssize_t count)
{
    PyObject *set = PySet_New(NULL);
    if (set != NULL && add_ids(set, ids, count) < 0)
        Py_CLEAR(set);
    return set;
}

/* int_set(ids) -> set of the ids: one neighbour set, ball or neighbourhood. */
static PyObject *
int_set(PyObject *module, PyObject *source)
{
    (void)module;
    IdArray ids;
    if (id_array_open(source, &ids) < 0)
        return NULL;
    PyObject *set = new_set_of(ids.ids, ids.count);
    id_array_close(&ids);
    return set;
}

static PyObject *
sets_from_offsets(const IdArray *ids, const IdArray *offsets)
{
    Py_ssize_t parts = offsets->count - 1;
    if (parts < 0 || offsets->ids[parts] > (uint32_t)ids->count) {
        PyErr_SetString(PyExc_ValueError, "offsets do not fit the ids");
        return NULL;
    }
    PyObject *list = PyList_New(parts);
    if (list == NULL)
        return NULL;
    for (Py_ssize_t k = 0; k < parts; k++) {
        uint32_t begin = offsets->ids[k], end = offsets->ids[k + 1];
        if (end < begin) {
            PyErr_SetString(PyExc_ValueError, "offsets must not decrease");
            Py_DECREF(list);
            return NULL;
        }
        PyObject *set = new_set_of(ids->ids + begin, end - begin);
        if (set == NULL) {
            Py_DECREF(list);
            return NULL;
        }
        PyList_SET_ITEM(list, k, set);
    }
    return list;
}

/* set_list(ids, offsets) -> [set(ids[offsets[k]:offsets[k+1]]) ...]: components. */
static PyObject *
set_list(PyObject *module, PyObject *const *args, Py_ssize_t nargs)
{
    (void)module;
    if (nargs != 2) {
        PyErr_SetString(PyExc_TypeError, "set_list(ids, offsets)");
        return NULL;
    }
    IdArray ids, offsets;
    if (id_array_open(args[0], &ids) < 0)
        return NULL;
    if (id_array_open(args[1], &offsets) < 0) {
        id_array_close(&ids);
        return NULL;
    }
    PyObject *list = sets_from_offsets(&ids, &offsets);
    id_array_close(&offsets);
    id_array_close(&ids);
    return list;
}

static PyObject *
pairs_of(const IdArray *us, const IdArray *vs)
{
    if (us->count != vs->count) {
        PyErr_SetString(PyExc_ValueError, "us and vs differ in length");
        return NULL;
    }
    PyObject *list = PyList_New(us->count);
    if (list == NULL)
        return NULL;
    for (Py_ssize_t i = 0; i < us->count; i++) {
        PyObject *pair = PyTuple_New(2);
        PyObject *u = PyLong_FromLong((long)us->ids[i]);
        PyObject *v = PyLong_FromLong((long)vs->ids[i]);
        if (pair == NULL || u == NULL || v == NULL) {
            Py_XDECREF(pair);
            Py_XDECREF(u);
            Py_XDECREF(v);
            Py_DECREF(list);
            return NULL;
        }
        PyTuple_SET_ITEM(pair, 0, u);
        PyTuple_SET_ITEM(pair, 1, v);
        PyList_SET_ITEM(list, i, pair);
    }
    return list;
}

/* Opens the two id arrays of a pairs floor, builds the list with `build`, closes them. */
static PyObject *
pairs_call(PyObject *const *args, Py_ssize_t nargs, const char *usage,
           PyObject *(*build)(const IdArray *, const IdArray *))
{
    if (nargs != 2) {
        PyErr_SetString(PyExc_TypeError, usage);
        return NULL;
    }
    IdArray us, vs;
    if (id_array_open(args[0], &us) < 0)
        return NULL;
    if (id_array_open(args[1], &vs) < 0) {
        id_array_close(&us);
        return NULL;
    }
    PyObject *list = build(&us, &vs);
    id_array_close(&vs);
    id_array_close(&us);
    return list;
}

/* pair_list(us, vs) -> [(us[i], vs[i]) ...]: an edge list. */
static PyObject *
pair_list(PyObject *module, PyObject *const *args, Py_ssize_t nargs)
{
    (void)module;
    return pairs_call(args, nargs, "pair_list(us, vs)", pairs_of);
}

/*
 * The slot count of the table a set ends at after `count` PySet_Add calls of
 * new members on CPython 3.11: it starts with 8 slots and, once an add leaves
 * it 3/5 full, is rebuilt at the smallest power of two above 4 times its
 * members (2 times past 50,000).  benchkit/floors.py checks it against the
 * size of real sets before a floor is used.
 */
static Py_ssize_t
final_table_size(Py_ssize_t count)
{
    size_t slots = 8;
    for (size_t used = 1; used <= (size_t)count; used++) {
        if (used * 5 < (slots - 1) * 3)
            continue;
        size_t wanted = used > 50000 ? used * 2 : used * 4;
        slots = 8;
        while (slots <= wanted)
            slots <<= 1;
    }
    return (Py_ssize_t)slots;
}

/* set_table_size(count) -> slots of the table a set of `count` adds ends at. */
static PyObject *
set_table_size(PyObject *module, PyObject *arg)
{
    (void)module;
    Py_ssize_t count = PyLong_AsSsize_t(arg);
    if (count == -1 && PyErr_Occurred())
        return NULL;
    if (count < 0) {
        PyErr_SetString(PyExc_ValueError, "count must not be negative");
        return NULL;
    }
    return PyLong_FromSsize_t(final_table_size(count));
}

/* Writes ids[0..count) to out, stably ordered by the low bits of the final table. */
static int
order_for_set(const uint32_t *ids, Py_ssize_t count, uint32_t *out)
{
    size_t slots = (size_t)final_table_size(count), mask = slots - 1;
    size_t *starts = calloc(slots + 1, sizeof *starts);
    if (starts == NULL) {
        PyErr_NoMemory();
        return -1;
    }
    for (Py_ssize_t i = 0; i < count; i++)
        starts[(ids[i] & mask) + 1]++;
    for (size_t slot = 0; slot < slots; slot++)
        starts[slot + 1] += starts[slot];
    for (Py_ssize_t i = 0; i < count; i++)
        out[starts[ids[i] & mask]++] = ids[i];
    free(starts);
    return 0;
}

/* best_set_order(ids, offsets) -> bytes of u32: each offsets interval in the
 * order cheapest to build its set in (one interval [0, len) for one set). */
static PyObject *
best_set_order(PyObject *module, PyObject *const *args, Py_ssize_t nargs)
{
    (void)module;
    if (nargs != 2) {
        PyErr_SetString(PyExc_TypeError, "best_set_order(ids, offsets)");
        return NULL;
    }
    IdArray ids, offsets;
    if (id_array_open(args[0], &ids) < 0)
        return NULL;
    if (id_array_open(args[1], &offsets) < 0) {
        id_array_close(&ids);
        return NULL;
    }
    PyObject *ordered = PyBytes_FromStringAndSize(NULL, ids.count * 4);
    Py_ssize_t parts = offsets.count - 1;
    if (ordered != NULL && (parts < 0 || offsets.ids[parts] != (uint32_t)ids.count)) {
        PyErr_SetString(PyExc_ValueError, "offsets do not cover the ids");
        Py_CLEAR(ordered);
    }
    uint32_t *out = ordered ? (uint32_t *)PyBytes_AS_STRING(ordered) : NULL;
    for (Py_ssize_t k = 0; ordered != NULL && k < parts; k++) {
        uint32_t begin = offsets.ids[k], end = offsets.ids[k + 1];
        if (end < begin) {
            PyErr_SetString(PyExc_ValueError, "offsets must not decrease");
            Py_CLEAR(ordered);
        } else if (order_for_set(ids.ids + begin, end - begin, out + begin) < 0) {
            Py_CLEAR(ordered);
        }
    }
    id_array_close(&offsets);
    id_array_close(&ids);
    return ordered;
}

/* Like pairs_of, but a run of equal first ends shares one int object. */
static PyObject *
grouped_pairs_of(const IdArray *us, const IdArray *vs)
{
    if (us->count != vs->count) {
        PyErr_SetString(PyExc_ValueError, "us and vs differ in length");
        return NULL;
    }
    PyObject *list = PyList_New(us->count);
    if (list == NULL)
        return NULL;
    PyObject *first = NULL;
    for (Py_ssize_t i = 0; i < us->count; i++) {
        if (first == NULL || us->ids[i] != us->ids[i - 1]) {
            first = PyLong_FromLong((long)us->ids[i]);
            if (first == NULL) {
                Py_DECREF(list);
                return NULL;
            }
        } else {
            Py_INCREF(first);
        }
        PyObject *pair = PyTuple_New(2);
        PyObject *v = PyLong_FromLong((long)vs->ids[i]);
        if (pair == NULL || v == NULL) {
            Py_XDECREF(pair);
            Py_XDECREF(v);
            Py_DECREF(first);
            Py_DECREF(list);
            return NULL;
        }
        PyTuple_SET_ITEM(pair, 0, first);
        PyTuple_SET_ITEM(pair, 1, v);
        PyList_SET_ITEM(list, i, pair);
    }
    return list;
}

/* grouped_pair_list(us, vs) -> [(us[i], vs[i]) ...], one int per run of equal us. */
static PyObject *
grouped_pair_list(PyObject *module, PyObject *const *args, Py_ssize_t nargs)
{
    (void)module;
    return pairs_call(args, nargs, "grouped_pair_list(us, vs)", grouped_pairs_of);
}

static PyMethodDef floor_functions[] = {
    {"int_set", int_set, METH_O, "int_set(ids) -> set of the ids."},
    {"set_list", (PyCFunction)(void (*)(void))set_list, METH_FASTCALL,
     "set_list(ids, offsets) -> list of sets, one per offsets interval."},
    {"pair_list", (PyCFunction)(void (*)(void))pair_list, METH_FASTCALL,
     "pair_list(us, vs) -> list of 2-tuples."},
    {"grouped_pair_list", (PyCFunction)(void (*)(void))grouped_pair_list, METH_FASTCALL,
     "grouped_pair_list(us, vs) -> list of 2-tuples sharing the int of equal first ends."},
    {"set_table_size", set_table_size, METH_O,
     "set_table_size(count) -> slots of the table a set of count adds ends at."},
    {"best_set_order", (PyCFunction)(void (*)(void))best_set_order, METH_FASTCALL,
     "best_set_order(ids, offsets) -> bytes: each interval ordered by final-table slot."},
    {NULL, NULL, 0, NULL},
};

static struct PyModuleDef floor_module = {
    PyModuleDef_HEAD_INIT,
    .m_name = "_qlresultfloor",
    .m_doc = "Builds Python results from native id arrays in a plain C loop.",
    .m_size = -1,
    .m_methods = floor_functions,
};

PyMODINIT_FUNC
PyInit__qlresultfloor(void)
{
    return PyModule_Create(&floor_module);
}
