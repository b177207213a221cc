function sim = newmark_setup(M, K, F, t, factors, varargin)
% NEWMARK_SETUP  Everything a native Newmark run needs, ready for newmark_run.
%
%   sim = newmark_setup(M, K, F, t, factors, name, value, ...) prepares the
%   run of  M q'' + C q' + K q = F * factors(t)  over the equally spaced time
%   points t:
%     M        lumped (diagonal) mass: sparse diagonal matrix or vector
%     K        stiffness, sparse symmetric N x N
%     F        N x Nb load shapes;  factors: Nb x NT matrix or @(t) handle
%   Options:
%     'rayleigh', [rayM rayK]   damping rayM*M + rayK*K (default none)
%     'C', C                    an explicit damping matrix as well
%     'beta', 'gamma'           Newmark's parameters (default 1/4, 1/2)
%     'u0', 'v0'                initial displacement, velocity (default 0)
%     'save', times             keep u at these times (a subset of t)
%     'terms', {s1, ...}        further handle descriptions (e.g. non-linear
%                               terms, type 1003) appended to the vector
%     'model', s                the model structure (field "FNL" for the
%                               forces of non-linear terms); default struct()
%     'watch', dofs             record u(dofs) after every chunk
%                               (sim.progress.watched)
%     'quiet', true             no stable-step warning
%
%   The result holds the handle vector sim.handles = {stepper, mass,
%   stiffness[, damping], terms...} as cell descriptions, the state arrays
%   sim.u, sim.v, sim.a (fresh arrays, updated in place by the module), the
%   time table, the step output and storage, the matrices for the energy
%   balance and a progress record (sim.progress) that lets newmark_run stop
%   and resume.  The initial acceleration is in equilibrium with the loads at
%   t(1).  The step is checked against newmark_stable_step.
  p = inputParser();
  p.FunctionName = 'newmark_setup';
  p.addParameter('rayleigh', [0 0]);
  p.addParameter('C', []);
  p.addParameter('beta', 0.25);
  p.addParameter('gamma', 0.5);
  p.addParameter('u0', []);
  p.addParameter('v0', []);
  p.addParameter('save', []);
  p.addParameter('terms', {});
  p.addParameter('model', struct());
  p.addParameter('watch', []);
  p.addParameter('quiet', false);
  p.parse(varargin{:});
  o = p.Results;

  N = rows(K);
  if ~issparse(K), K = sparse(K); end
  m = M;
  if ~isvector(M) || numel(M) ~= N, m = diag(M); end
  m = full(double(m(:)));
  Ms = spdiags(m, 0, N, N);
  t = double(t(:).');
  if numel(t) < 2, error('newmark_setup: at least two time points are needed'); end
  h = t(2) - t(1);
  if any(abs(diff(t) - h) > 1e-9 * h)
    error('newmark_setup: the time points must be equally spaced (the stepper has one step h)');
  end
  if isa(factors, 'function_handle'), factors = factors(t); end
  rayM = o.rayleigh(1); rayK = o.rayleigh(2);
  C = o.C;
  if isempty(C), C = sparse(N, N); end
  Ctotal = C + rayM * Ms + rayK * K;

  stepper = newmark_stepper(m, Ctotal, K, h, o.beta, o.gamma, F, ...
                            newmark_time_table(t, factors));
  if ~o.quiet
    newmark_stable_step(m, K, o.beta, o.gamma, Ctotal, h);
  end
  handles = {stepper, sparse_term(2, Ms), sparse_term(1, K)};
  if nnz(C) > 0, handles{end + 1} = sparse_term(3, C); end
  handles = [handles, o.terms(:).'];

  u0 = zeros(N, 1); v0 = zeros(N, 1);
  if ~isempty(o.u0), u0 = double(o.u0(:)); end
  if ~isempty(o.v0), v0 = double(o.v0(:)); end
  a0 = (F * factors(:, 1) - K * u0 - Ctotal * v0) ./ m;

  sim = struct();
  sim.handles = handles;
  sim.model = o.model;
  sim.u = u0 + 0;          % fresh arrays: the module writes into them
  sim.v = v0 + 0;
  sim.a = a0 + 0;
  sim.rayleigh = [rayM rayK];
  sim.t = t;
  sim.factors = factors;
  sim.tft = stepper.tft;
  sim.out = newmark_step_output(N);
  sim.store = newmark_storage(N, o.save);
  sim.energy = struct('m', m, 'K', K, 'dK', full(diag(K)), 'C', C, ...
                      'dC', full(diag(C)), 'rayK', rayK, 'F', F, ...
                      'beta', o.beta, 'gamma', o.gamma, 'h', h);
  sim.progress = newmark_progress(sim, o.watch);
end
