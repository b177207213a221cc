function sim = newmark_setup(M, K, F, t, factors, varargin)
% NEWMARK_SETUP  Everything a native Newmark run needs, ready for newmark_run.
%
%   sim = newmark_setup(M, K, F, T, factors, name, value, ...) prepares the
%   run of  M q'' + C q' + K q = F * factors(t)  from t = 0 to t = T, with
%   Newmark's beta and the step chosen for stability and accuracy
%   (newmark_accurate_step: the lowest natural frequencies within 1 %):
%     M        lumped (diagonal) mass: a vector of N masses or a diagonal
%              N x N matrix
%     K        stiffness, sparse symmetric N x N
%     F        N x Nb load shapes
%     factors  @(t) returning the Nb x numel(t) load factors at the times t
%
%   sim = newmark_setup(M, K, F, t, factors, ...) with a vector of equally
%   spaced time points t takes the step from them (factors: an Nb x numel(t)
%   matrix or a handle) and chooses beta for it: the smallest beta that is
%   stable at that step with a margin, which is the most accurate.
%
%   Options:
%     'rayleigh', [rayM rayK]   damping rayM*M + rayK*K (default none)
%     'C', C                    an explicit damping matrix as well
%     'beta', b                 Newmark's beta, instead of the chosen one
%     'gamma', g                Newmark's gamma (default 1/2)
%     'tol', r                  accepted frequency error (default 0.01)
%     'u0', 'v0'                initial displacement, velocity (default 0)
%     'save', times             keep u at these times (each is moved to the
%                               nearest time point; see sim.store)
%     'terms', {s1, ...}        further handle descriptions (non-linear
%                               terms, type 1003) appended to the vector
%     'model', s                the model structure (field "FNL" for the
%                               forces of non-linear terms); default struct()
%     'watch', W                follow u at every step: a vector of DOFs, or
%                               a matrix whose rows are combinations of u
%                               (see newmark_history)
%     'quiet', true             no stability or accuracy warning
%
%   Terms whose internal states are appended (builders called with
%   first = []) get their state DOFs here: one per state, after the model's
%   N DOFs and the states of earlier terms, with unit mass, no stiffness, no
%   damping and no load; sim.states{i} lists those of term i and sim.N is
%   the number of model DOFs.  A time increment 0 of a 'DahlC' or 'Clima2'
%   term (the builders' default) becomes the step.
%
%   The result: sim.handles = {stepper, mass, stiffness[, damping], terms...}
%   (cell descriptions), the state arrays sim.u, sim.v, sim.a (fresh, updated
%   in place by the module), the time points sim.t, the step output sim.out,
%   the storage sim.store, sim.accuracy (beta, gamma, h, the stable step
%   hmax and the estimated frequency error err of newmark_accurate_step),
%   the recorders that newmark_run adds to follow 'watch' and the work of
%   the loads at every step, and a progress record (sim.progress) that lets
%   newmark_run stop and resume.  The initial acceleration is in
%   equilibrium with the loads at t(1) (non-linear terms left out).
%
%   sim.store: store.data the save times (sorted, on the time points),
%   store.def(:, i) u at store.data(i) (the initial state when it is the
%   first time point); store.FNL.data = sim.t and store.FNL.def(:, j) the
%   model's FNL after the step to sim.t(j): the entries of the given
%   model's FNL first, then the recorders' (read them with newmark_history).
%
%   Warnings: "newmark_stable_step:unstable" when the step exceeds the
%   stable step, "newmark_setup:inaccurate" when the estimated frequency
%   error exceeds 'tol' (a step or a beta of the caller's).
%
%   Example (a chain of 100 masses, 1 s, a load pulse at its end):
%     K = 1e4 * spdiags(ones(100, 1) * [-1 2 -1], -1:1, 100, 100);
%     F = zeros(100, 1); F(end) = 1;
%     sim = newmark_setup(ones(100, 1), K, F, 1, @(t) sin(pi * t / 0.1) .* (t < 0.1), ...
%                         'rayleigh', [0.5 0], 'watch', 100);
%     sim = newmark_run(sim);
%     r = newmark_history(sim); plot(r.t, r.watched)
  p = inputParser();
  p.FunctionName = 'newmark_setup';
  p.addParameter('rayleigh', [0 0]);
  p.addParameter('C', []);
  p.addParameter('beta', []);
  p.addParameter('gamma', 0.5);
  p.addParameter('tol', 0.01);
  p.addParameter('u0', []);
  p.addParameter('v0', []);
  p.addParameter('save', []);
  p.addParameter('terms', {});
  p.addParameter('model', struct());
  p.addParameter('watch', []);
  p.addParameter('quiet', false);
  p.parse(varargin{:});
  o = p.Results;

  [m, K] = model_matrices(M, K);
  N0 = rows(K);
  F = load_shapes(F, N0);
  [rayM, rayK] = rayleigh_of(o.rayleigh);
  C = damping_matrix(o.C, N0);

  terms = o.terms;
  if isstruct(terms), terms = num2cell(terms); end
  if ~iscell(terms)
    error('newmark_setup: ''terms'' must be a cell of term structures');
  end
  [terms, states, N] = place_states(terms(:).', N0);
  S = N - N0;                        % appended state DOFs
  m = [m; ones(S, 1)];
  K = blkdiag(K, sparse(S, S));
  C = blkdiag(C, sparse(S, S));
  F = [F; zeros(S, columns(F))];
  Ms = spdiags(m, 0, N, N);
  Ctotal = C + rayM * Ms + rayK * K;

  [t, acc] = time_points(t, m, K, Ctotal, o);
  h = t(2) - t(1);
  factors = load_factors(factors, t, columns(F));
  if ~o.quiet
    newmark_stable_step(m, K, acc.beta, acc.gamma, Ctotal, h);
    if abs(acc.err) > o.tol
      warning('newmark_setup:inaccurate', ...
              ['newmark_setup: with beta = %.4g and the step %.4g s the lowest natural ' ...
               'frequencies are estimated %.2g %% %s (tolerance %.2g %%); ' ...
               'newmark_accurate_step suggests beta = %.4g, h = %.4g s'], ...
              acc.beta, h, 100 * abs(acc.err), ifelse(acc.err < 0, 'low', 'high'), ...
              100 * o.tol, acc.suggested_beta, acc.suggested_h);
    end
  end
  terms = increments_of(terms, h);

  u0 = initial_state(o.u0, N0, N, 'u0');
  v0 = initial_state(o.v0, N0, N, 'v0');
  stepper = newmark_stepper(m, Ctotal, K, h, acc.beta, acc.gamma, F, ...
                            newmark_time_table(t, factors));
  handles = {stepper, sparse_term(2, Ms), sparse_term(1, K)};
  if nnz(C) > 0, handles{end + 1} = sparse_term(3, C); end
  handles = [handles, terms];
  a0 = (F * factors(:, 1) - K * u0 - Ctotal * v0) ./ m;

  model = o.model;
  if ~isstruct(model) || ~isscalar(model)
    error('newmark_setup: ''model'' must be a structure');
  end
  user_fnl = [];
  if isfield(model, 'FNL'), user_fnl = double(model.FNL(:)); end
  check_exports(terms, numel(user_fnl));
  rec = newmark_recorders(F, watch_rows(o.watch, N0, N), numel(user_fnl));
  model.FNL = [user_fnl; zeros(rec.count, 1)];     % fresh: the module writes it
  nfnl = numel(model.FNL);

  sim = struct();
  sim.handles = handles;
  sim.recorders = rec.terms;
  sim.record = rec.layout;
  sim.model = model;
  sim.u = u0 + 0;          % fresh arrays: the module writes into them
  sim.v = v0 + 0;
  sim.a = a0 + 0;
  sim.rayleigh = [rayM rayK];
  sim.t = t;
  sim.factors = factors;
  sim.tft = stepper.tft;
  sim.N = N0;
  sim.states = states;
  sim.accuracy = acc;
  sim.out = newmark_step_output(N, N, nfnl);
  sim.store = newmark_storage(N, snap_to(o.save, t), nfnl, t);
  sim.store.def(:, sim.store.data == t(1)) = repmat(u0, 1, nnz(sim.store.data == t(1)));
  sim.store.FNL.def(:, 1) = [user_fnl; rec.initial(u0, v0)];
  sim.energy = struct('m', m, 'K', K, 'dK', full(diag(K)), 'C', C, ...
                      'dC', full(diag(C)), 'rayK', rayK, 'F', F, ...
                      'beta', acc.beta, 'gamma', acc.gamma, 'h', h, ...
                      'a_scale', acceleration_energy(acc.beta, h, m, F, factors, a0));
  sim.progress = newmark_progress(sim);
end

% --- arguments, each checked by name ------------------------------------------

function [m, K] = model_matrices(M, K)
  if ~(isnumeric(K) && ismatrix(K) && issquare(K) && rows(K) > 0)
    error(['newmark_setup: K must be the square N x N stiffness matrix, is %s ' ...
           '(M and K in the wrong order?)'], size_text(K));
  end
  N = rows(K);
  if ~issparse(K), K = sparse(K); end
  if ~isnumeric(M) || ~(isvector(M) && numel(M) == N || isequal(size(M), [N N]))
    error('newmark_setup: M must be a vector of %d masses or a diagonal %d x %d matrix (K is %d x %d), is %s', ...
          N, N, N, N, N, size_text(M));
  end
  if isvector(M) && numel(M) == N
    m = full(double(M(:)));
  else
    if nnz(M - diag(diag(M))) > 0
      error('newmark_setup: M must be a lumped (diagonal) mass; this one has off-diagonal entries (M and K in the wrong order?)');
    end
    m = full(double(diag(M)));
  end
  bad = find(~(m > 0) | ~isfinite(m), 1);
  if ~isempty(bad)
    error('newmark_setup: the mass of DOF %d is %g: masses must be positive and finite', bad, m(bad));
  end
  [i, j, v] = find(K);
  bad = find(~isfinite(v), 1);
  if ~isempty(bad)
    error('newmark_setup: K(%d, %d) is %g: the stiffness must be finite', i(bad), j(bad), v(bad));
  end
end

function F = load_shapes(F, N)
  if ~(isnumeric(F) && ismatrix(F) && rows(F) == N && columns(F) >= 1)
    error('newmark_setup: F must be N x Nb, one column per load shape (N = %d, the rows of K), is %s', ...
          N, size_text(F));
  end
  F = full(double(F));
  [i, j] = find(~isfinite(F), 1);
  if ~isempty(i)
    error('newmark_setup: F(%d, %d) is %g: the load shapes must be finite', i, j, F(i, j));
  end
end

function [rayM, rayK] = rayleigh_of(r)
  if ~(isnumeric(r) && numel(r) == 2 && all(isfinite(r)))
    error('newmark_setup: ''rayleigh'' must be [rayM rayK], two finite numbers');
  end
  rayM = double(r(1)); rayK = double(r(2));
end

function C = damping_matrix(C, N)
  if isempty(C), C = sparse(N, N); return; end
  if ~(isnumeric(C) && isequal(size(C), [N N]))
    error('newmark_setup: ''C'' must be an N x N damping matrix (N = %d), is %s', N, size_text(C));
  end
  C = sparse(double(C));
  if any(~isfinite(nonzeros(C)))
    error('newmark_setup: ''C'' has entries that are not finite');
  end
end

function f = load_factors(factors, t, Nb)
  if isa(factors, 'function_handle')
    f = factors(t);
  elseif isnumeric(factors)
    f = factors;
  else
    error('newmark_setup: factors must be an Nb x numel(t) matrix or a function handle @(t)');
  end
  if ~isequal(size(f), [Nb numel(t)])
    error('newmark_setup: factors must be %d x %d (one row per load shape, one column per time point), is %s', ...
          Nb, numel(t), size_text(f));
  end
  f = double(f);
  [i, j] = find(~isfinite(f), 1);
  if ~isempty(i)
    error('newmark_setup: load factor %d is %g at t = %.6g s (time point %d): the loads must be finite', ...
          i, f(i, j), t(j), j);
  end
end

function x = initial_state(x, N0, N, name)
  if isempty(x), x = zeros(N, 1); return; end
  if ~(isnumeric(x) && isvector(x) && any(numel(x) == [N0 N]))
    error('newmark_setup: ''%s'' must hold %d values (one per DOF%s), holds %d', ...
          name, N0, ifelse(N > N0, sprintf(', or %d with the appended states', N), ''), numel(x));
  end
  x = [double(x(:)); zeros(N - numel(x), 1)];
  bad = find(~isfinite(x), 1);
  if ~isempty(bad)
    error('newmark_setup: %s(%d) is %g: the initial state must be finite', name, bad, x(bad));
  end
end

% --- time points, beta and the step ------------------------------------------

function [t, acc] = time_points(t, m, K, C, o)
  if ~(isnumeric(t) && isvector(t) && all(isfinite(t)))
    error('newmark_setup: t must be the end time T or a vector of equally spaced time points');
  end
  choose = {'tol', o.tol, 'gamma', o.gamma, 'beta', o.beta};
  if isscalar(t)
    if ~(t > 0)
      error('newmark_setup: the end time T must be positive');
    end
    [h, o.beta, chosen] = newmark_accurate_step(m, K, C, choose{:});
    if ~isfinite(h)
      error(['newmark_setup: the model has no stiffness or coupled damping to choose ' ...
             'a step from: give the time points']);
    end
    n = max(1, ceil(t / h * (1 - 1e-12)));
    t = (0:n) * (t / n);
    acc = step_info(m, K, C, o, t(2) - t(1));
    acc.limit = chosen.limit;
  else
    t = double(t(:).');
    if any(diff(t) <= 0)
      error('newmark_setup: the time points must increase');
    end
    h = t(2) - t(1);
    if any(abs(diff(t) - h) > 1e-9 * h)
      error('newmark_setup: the time points must be equally spaced (the stepper has one step h)');
    end
    acc = step_info(m, K, C, o, h);
  end
end

% beta (the given one or the most accurate stable one) and the estimated
% error at the step h, with what newmark_accurate_step would choose.
function acc = step_info(m, K, C, o, h)
  [~, ~, acc] = newmark_accurate_step(m, K, C, 'tol', o.tol, 'gamma', o.gamma, ...
                                      'beta', o.beta, 'h', h);
  [acc.suggested_h, acc.suggested_beta] = newmark_accurate_step(m, K, C, ...
                                      'tol', o.tol, 'gamma', o.gamma);
end

% Each save time moved to the nearest time point (the stepper stores a
% snapshot only when a step ends exactly at a save time); sorted, once each.
function s = snap_to(times, t)
  if isempty(times), s = []; return; end
  if ~(isnumeric(times) && isvector(times) && all(isfinite(times)))
    error('newmark_setup: ''save'' must be a vector of times');
  end
  h = t(2) - t(1);
  outside = find(times < t(1) - h / 2 | times > t(end) + h / 2, 1);
  if ~isempty(outside)
    error('newmark_setup: save time %.6g s lies outside the run [%.6g, %.6g] s', ...
          times(outside), t(1), t(end));
  end
  j = round((double(times(:)) - t(1)) / h) + 1;
  s = t(unique(min(max(j, 1), numel(t))));
end

% --- terms ----------------------------------------------------------------------

% Terms built with appended states (field "states": their count, placed
% after the N0 DOFs the term was built for) get consecutive DOFs after the
% model and the earlier terms' states; every non-linear term is widened to
% the N DOFs of the stepped vector.
function [terms, states, N] = place_states(terms, N0)
  states = cell(1, numel(terms));
  N = N0;
  for i = 1:numel(terms)
    s = terms{i};
    if ~isstruct(s) || ~isfield(s, 'type')
      error('newmark_setup: term %d must be a structure with a field "type"', i);
    end
    if isfield(s, 'states') && s.states > 0
      base = term_width(s, i) - s.states;
      if base ~= N0
        error('newmark_setup: term %d was built for %d DOFs; the model has %d', i, base, N0);
      end
      states{i} = N + (1:s.states)';
      s = move_states(s, N0, N - N0);
      N += s.states;
    end
    terms{i} = s;
  end
  for i = 1:numel(terms)
    terms{i} = widen_term(terms{i}, i, N0, N);
  end
end

function w = term_width(s, i)
  if ~isfield(s, 'c')
    error('newmark_setup: term %d has no field "c"', i);
  end
  c = s.c;
  if isstruct(c) && isfield(c, 'dims')
    w = c.dims(2);
  elseif isnumeric(c)
    w = columns(c);
  else
    error('newmark_setup: term %d: the width of "c" is unknown (no "dims")', i);
  end
end

% States at 0-based positions N0 … of the term move by shift: the columns
% of c that read them and the state position iopt(2).
function s = move_states(s, N0, shift)
  if shift == 0, return; end
  c = s.c;                               % transposed storage: ir are columns
  moved = c.ir >= N0;
  c.ir(moved) += shift;
  c.dims(2) += shift;
  s.c = c;
  s.iopt(2) += shift;
end

function s = widen_term(s, i, N0, N)
  if s.type ~= 1003
    if N > N0 && isfield(s, 'dims') && any(s.dims ~= N)
      error(['newmark_setup: term %d (type %d) is %d x %d but the run has %d DOFs ' ...
             'with the appended states: give that matrix through K or C'], ...
            i, s.type, s.dims(1), s.dims(2), N);
    end
    return;
  end
  appended = isfield(s, 'states') && s.states > 0;
  for name = {'c', 'b'}
    if ~isfield(s, name{1}), continue; end
    w = width_of(s.(name{1}), i, name{1});
    if w == N || isempty(w), continue; end
    if w ~= N0 && ~appended
      error('newmark_setup: term %d acts on %d DOFs; the model has %d (%d with the appended states)', ...
            i, w, N0, N);
    end
    s.(name{1}) = widen(s.(name{1}), N, i, name{1});
  end
end

% The number of columns of a matrix of a term ([] when it has no values and
% no size: nothing to widen).
function w = width_of(d, i, name)
  if isstruct(d) && isfield(d, 'dims')
    w = d.dims(2);
  elseif isnumeric(d)
    w = columns(d);
  elseif isstruct(d) && ~isfield(d, 'pr')
    w = [];
  else
    error('newmark_setup: term %d: the width of "%s" is unknown (no "dims")', i, name);
  end
end

function d = widen(d, N, i, name)
  if isnumeric(d)
    d = [d, zeros(rows(d), N - columns(d))];
  elseif isstruct(d) && isfield(d, 'dims') && (~isfield(d, 'pr') || isfield(d, 'ir'))
    if ~(isfield(d, 'trans') && d.trans) && isfield(d, 'jc')
      d.jc(end + 1:N + 1) = d.jc(end);   % empty columns for the states
    end
    d.dims(2) = N;
  elseif isstruct(d) && isfield(d, 'dims') && isfield(d, 'trans') && d.trans
    d.pr = [d.pr(:); zeros(N - d.dims(2), 1)];   % a dense row
    d.dims(2) = N;
  else
    error('newmark_setup: term %d: cannot widen its "%s" to the appended states', i, name);
  end
end

% A term that copies its outputs into FNL (iopt(1) >= 0) must find room in
% the FNL given with the model: the entries after it are the recorders'.
function check_exports(terms, L)
  for i = 1:numel(terms)
    s = terms{i};
    if s.type ~= 1003 || ~isfield(s, 'iopt') || isempty(s.iopt) || s.iopt(1) < 0
      continue;
    end
    n = 0;
    if isfield(s, 'c') && isstruct(s.c) && isfield(s.c, 'dims'), n = s.c.dims(1);
    elseif isfield(s, 'c') && isnumeric(s.c), n = rows(s.c); end
    if double(s.iopt(1)) + n > L
      error(['newmark_setup: term %d copies %d outputs into FNL from entry %d, but the ' ...
             'model''s FNL holds %d: give ''model'', struct(''FNL'', zeros(%d, 1))'], ...
            i, n, double(s.iopt(1)) + 1, L, double(s.iopt(1)) + n);
    end
  end
end

% The friction laws integrate their states over a time increment; 0, the
% builders' default, becomes the step (the module would take the time of
% the first evaluation, the step only when the run starts at t = 0).
function terms = increments_of(terms, h)
  codes = [nl_law_code('DahlC'), nl_law_code('Clima2')];
  for i = 1:numel(terms)
    s = terms{i};
    if s.type == 1003 && isfield(s, 'opt') && numel(s.opt) >= 3 ...
       && any(fix(s.opt(1)) == codes) && s.opt(3) == 0
      terms{i}.opt(3) = h;
    end
  end
end

% For beta < 1/4 the energy the stepper keeps holds -(1/4 - beta) h^2/2 a'Meff a:
% its kinetic and strain energy may exceed the energy put in by that much
% (at the onset of a load, say) without anything going wrong.  The largest
% such term the loads and the initial state give, a = M^-1 F f.
function A = acceleration_energy(beta, h, m, F, factors, a0)
  G = F.' * (F ./ m);
  peak = max([sum(factors .* (G * factors), 1), a0.' * (m .* a0)]);
  A = max(0.25 - beta, 0) * h^2 / 2 * peak;
end

% --- what to follow at every step -----------------------------------------------

function W = watch_rows(watch, N0, N)
  if isempty(watch), W = sparse(0, N); return; end
  if isnumeric(watch) && isvector(watch) && all(watch == fix(watch)) ...
     && (columns(watch) == 1 || numel(watch) < N0)
    if any(watch < 1 | watch > N)
      error('newmark_setup: ''watch'' DOFs must lie in 1 … %d', N);
    end
    W = sparse(1:numel(watch), watch(:), 1, numel(watch), N);
  elseif isnumeric(watch) && ismatrix(watch) && any(columns(watch) == [N0 N])
    W = [sparse(double(watch)), sparse(rows(watch), N - columns(watch))];
  else
    error(['newmark_setup: ''watch'' must be a column of DOFs in 1 … %d or a matrix ' ...
           'of %d (or %d) columns'], N, N0, N);
  end
end

function s = size_text(A)
  s = sprintf('%d x %d', rows(A), columns(A));
end
