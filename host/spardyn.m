% SPARDYN  Native engine of transient structural dynamics (a MEX module).
%
%   spardyn(command, arguments...) runs one command; most write their
%   results in place into arrays the caller passes (give fresh arrays:
%   zeros(n, 1), x + 0).  Matrices are given as sparse descriptions
%   (sparse_description(K)), not as Octave sparse matrices.  Errors carry the
%   identifiers VRK:spardyn:NonHandle, WrongSize, Invalid, empty, conform.
%
%   Module
%     spardyn()                       the version, 1.0001
%     spardyn('ismex')                1
%     spardyn('cvs')                  the revision string
%     spardyn('omp')                  -1
%     spardyn('nlv1', term)           no effect
%
%   Residuals and time integration
%     spardyn('residual', r, model, u, v, a, opt)
%                                     r += M a + C v + K u (+ non-linear
%                                     terms), energies on request
%     spardyn('chandlediagnewmark', handles, model, u, v, a, rayleigh, stepout, storage)
%                                     a whole Newmark time loop in one call;
%                                     helpers: newmark_setup, newmark_run,
%                                     newmark_history, newmark_accurate_step
%
%   Handle objects
%     id = spardyn('chandleset', type, s)   register a term (1 stiffness,
%                                     2 mass, 3 damping, 1003 non-linear,
%                                     2000 stepper)
%     s = spardyn('chandleget', id)   a copy of its stored value (no id:
%                                     the registered numbers)
%     spardyn('chandleclear', id)     release it (no id: all)
%
%   Sparse algebra
%     spardyn('tbbp', S, x, y)        y += S.'*x on worker threads
%     spardyn('setsparse', s, ir, [], pr)   new values for a description
%     c = spardyn('c<-a''*b', a, b)    a.'*b
%     r = spardyn('abc', TA, k, TB, int32([1 0 0]))   TA.'*k*TB
%     spardyn('dtkt', base, k), spardyn('ta''*k*tb', ta, k, tb),
%     spardyn('igsm', phi, k), spardyn('directzr', a, c, b, d)
%
%   Non-linear terms (type 1003) are built by nl_power, nl_expon, nl_table,
%   nl_dahl, nl_slider, nl_contact and nl_maxwell.
%
%   Documentation: README.md and docs/ beside the sources: commands.md
%   (dispatcher, "tbbp", arrays), residual.md, handles.md, newmark.md (the
%   time loop, its accuracy and its helpers), nonlinear.md (terms and
%   laws), algebra.md.
