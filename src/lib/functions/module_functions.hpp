// The module's functions, in the order they are added to the module.
#pragma once

#include <Python.h>

#include "lib/calls/arguments.hpp"
#include "lib/functions/single_path.hpp"
#include "lib/support/boundary.hpp"
#include "lib/support/pending_error.hpp"

namespace quorbix::lib {

// What several module functions do alike (get and its two siblings, the
// three get_many functions): bind the arguments by `signature`, read a
// document of `kind`, answer.
using Query = Expected<PyRef> (*)(const Signature& signature, DocumentKind kind,
                                  PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames);

// The module function that asks `query` with its own signature and kind.
template <Query query, const Signature& signature, DocumentKind kind>
PyObject* query_entry(PyObject*, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
    return finish(query(signature, kind, args, nargs, kwnames));
}

// Any other module function of (args, nargs, kwnames), as the method table
// wants it.
using Call = Expected<PyRef> (*)(PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames);
template <Call call>
PyObject* call_entry(PyObject*, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
    return finish(call(args, nargs, kwnames));
}

extern PyMethodDef get_function;
extern PyMethodDef get_bytes_function;
extern PyMethodDef get_buffer_function;
extern PyMethodDef get_many_function;
extern PyMethodDef get_many_bytes_function;
extern PyMethodDef get_many_buffer_function;
extern PyMethodDef parse_function;
extern PyMethodDef compile_function;
extern PyMethodDef validate_function;
extern PyMethodDef table_function;              // _table, behind records() and read_xml()
extern PyMethodDef json_items_function;         // _json_items, for the command line
extern PyMethodDef validation_report_function;  // _validation_report, behind validation_report
extern PyMethodDef stream_function;             // _stream, behind quorbix.stream
extern PyMethodDef text_codec_function;         // _text_codec, for streams to transcode
extern PyMethodDef start_known_function;        // _start_known, the bytes _text_codec needs

}  // namespace quorbix::lib
