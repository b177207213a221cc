% SPARDYN  Native engine of transient structural dynamics (MEX module).
%
%   spardyn()                       the version number, 1.0001
%   spardyn('residual', r, model, u, v, a, rayleigh)
%                                   r += M a + C v + K u (+ non-linear terms)
%   spardyn('chandlediagnewmark', handles, model, u, v, a, rayleigh, out, store)
%                                   a whole Newmark time loop, in place
%   spardyn('tbbp', S, x, y)        y += S.'*x on worker threads, in place
%
%   Every call is spardyn(command, arguments...).  Sparse matrices are passed
%   as sparse descriptions (see sparse_description); handle vectors are
%   chandle objects or cells of descriptions.  The helpers newmark_setup and
%   newmark_run prepare and run a simulation.
%
%   This file only carries the help text: the module itself is spardyn.mex,
%   which lives in the same folder and takes precedence over it.
