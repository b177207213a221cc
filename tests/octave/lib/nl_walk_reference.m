function [r, model] = nl_walk_reference(r, model, u, v, a, opt, arg)
% What "residual" does with a model's "NL" list after its matrices, written
% in plain Octave from the description of the walk (observations, the three
% force forms, the rotating centre, the copies into FNL), for comparison
% with the module.  Returns r and the model with its entries' observation
% arrays, cursors and FNL as the module leaves them in place.  Host
% functions are called with the same inputs as the module passes; opt and
% arg are [] when not given.  Only well-formed entries are handled.
  if nargin < 6, opt = []; end
  if nargin < 7, arg = []; end
  if ~isstruct(model) || ~isfield(model, 'NL') || ~iscell(model.NL), return; end
  tc = 0;
  if isstruct(opt) && isfield(opt, 'tc') && ~isempty(opt.tc), tc = opt.tc(1); end
  for j = 1:rows(model.NL)
    S = model.NL{j, 3};
    if isempty(S), continue; end
    [S, x] = observe(S, 'vnl', 'vnl0', v, 1, tc, true);
    S = observe(S, 'unl', 'unl0', u, x, tc, false);
    model.NL{j, 3} = S;
    [r, model] = force_step(j, r, model, u, v, a, opt, arg);
  end
end

% --- observations -------------------------------------------------------------

function [S, x] = observe(S, name, refName, state, x, tc, velocity)
  if ~isfield(S, name) || isempty(S.(name)), return; end
  A = S.(name);
  if ndims(A) <= 2
    no = numel(A);
    ref = [];
    if isfield(S, refName) && ~isempty(S.(refName)), ref = S.(refName)(1:no); end
    if velocity, x = 1; end
  else
    no = size(A, 1) * size(A, 2);
    K = size(A, 3);
    ref = A(no + 1:2 * no);
    if velocity
      x = 1;
      if K > 2 && isfield(S, 'opt') && numel(S.opt) >= 2, x = S.opt(2) - tc; end
    end
    if K > 2 && x < 0, A(2 * no + 1:3 * no) = A(1:no); end
  end
  slice = zeros(no, 1);
  if ~isempty(ref), slice = ref(:); end
  [M, isSparse] = logical_matrix(S.c);
  if isSparse
    slice(1:rows(M)) = slice(1:rows(M)) + M * state(1:columns(M));
  else
    slice(1:rows(M)) = M * state(1:columns(M));
  end
  A(1:no) = slice;
  S.(name) = A;
end

% --- the force step -----------------------------------------------------------

function [r, model] = force_step(j, r, model, u, v, a, opt, arg)
  S = model.NL{j, 3};
  if isfield(S, 'Fu') && is_function_handle(S.Fu)
    [o, given] = call_for_force(S.Fu, S, r, model, u, v, a, opt, arg);
    if ~given
      F = initial_force(S);
      if isempty(F) && ~isfield(S, 'snl') && ~isfield(S, 'unl'), return; end
    elseif isstruct(o)
      if isfield(o, 'snl'), F = o.snl;
      elseif isfield(o, 'unl'), F = o.unl;
      else, return;
      end
    else
      F = o;
    end
    if isfield(S, 'b'), r = add_transposed(S.b, F, r); end
    if S.StoreFNL(1) ~= 0 && isfield(model, 'FNL')
      k0 = double(S.FInd(1));
      model.FNL(k0 + (1:rows(F))) = F(1:rows(F));
    end
    return;
  end
  T = S.type;
  if ischar(T)
    switch T
      case ''
      case 'rotcenter'
        [r, model] = rotcenter(j, r, model, u, v);
      case 'mocirc2'
      otherwise
        nl_spring(S, r, model, u, v, a, opt, arg);
        if isfield(S, 'b') && isfield(S, 'unl'), r = add_transposed(S.b, S.unl, r); end
    end
  else
    feval(T, S, r, model, u, v, a, opt, arg);
    if isfield(S, 'b') && isfield(S, 'unl'), r = add_transposed(S.b, initial_force(S), r); end
  end
end

% One output asked for; a function that returns none leaves given false.
function [o, given] = call_for_force(fu, S, r, model, u, v, a, opt, arg)
  o = []; given = true;
  try
    o = feval(fu, S, r, model, u, v, a, opt, arg);
  catch err
    if ~strcmp(err.message, 'value on right hand side of assignment is undefined') && ...
       ~strcmp(err.message, 'element number 1 undefined in return list')
      rethrow(err);
    end
    given = false;
  end
end

function F = initial_force(S)
  F = [];
  if isfield(S, 'snl'), F = S.snl;
  elseif isfield(S, 'unl'), F = S.unl;
  end
end

% --- the rotating centre ------------------------------------------------------

function [r, model] = rotcenter(j, r, model, u, v)
  S = model.NL{j, 3};
  R = S.Cell(:, 2);
  m = rows(S.Cell);
  k = fix(R{1}(1));
  theta = u(k);
  A = reshape(R{2}, 3, 3) * [cos(theta) -sin(theta) 0; sin(theta) cos(theta) 0; 0 0 1];
  if m >= 15
    MA = logical_matrix(R{15}); MB = logical_matrix(R{17});
    xA = MA * u(1:columns(MA)); vA = MA * v(1:columns(MA));
    xB = MB * u(1:columns(MB)); vB = MB * v(1:columns(MB));
  else
    [xA, vA] = gather_point(R{5}, R{6}, u, v);
    [xB, vB] = gather_point(R{7}, R{8}, u, v);
  end
  vA = vA + v(k) * R{10}(:);
  d = R{4}(:) + xB - A * (R{3}(:) + xA);
  e = vB - A * vA;
  [Fd, S.cur_u] = interpolate(S.Fu, d, S.cur_u);
  [Fe, S.cur_v] = interpolate(S.Fv, e, S.cur_v);
  F = Fd + Fe;
  if m >= 11 && isfield(model, 'FNL'), model.FNL(double(R{11}(1:3)) + 1) = F; end
  G = -A.' * F;
  if m >= 15
    r = add_transposed(R{17}, F, r);
    r = add_transposed(R{15}, G, r);
  else
    r = scatter_point(R{7}, R{8}, F, r);
    r = scatter_point(R{5}, R{6}, G, r);
  end
  model.NL{j, 3} = S;
end

function [x, w] = gather_point(dofs, comps, u, v)
  x = zeros(3, 1); w = zeros(3, 1);
  for p = 1:numel(comps)
    x(fix(comps(p))) = u(fix(dofs(p)));
    w(fix(comps(p))) = v(fix(dofs(p)));
  end
end

function r = scatter_point(dofs, comps, F, r)
  for p = 1:numel(comps)
    r(fix(dofs(p))) = r(fix(dofs(p))) + F(fix(comps(p)));
  end
end

% Linear interpolation in a table [abscissa value], the search starting
% from the row the cursor s remembers; a query on a repeated abscissa gets
% the mean of both sides; both ends extend their interval.
function [y, s] = interpolate(X, q, s)
  n = rows(X);
  y = zeros(size(q));
  for i = 1:numel(q)
    xi = q(i);
    k = fix(s(1));
    if ~(k >= 0), k = 0; end       % negative or NaN; rows counted from 0
    top = false;
    while true
      if k < n - 1
        if xi > X(k + 2, 1), k = k + 1; continue; end
        if k >= 1 && X(k + 1, 1) > xi, k = k - 1; continue; end
        break;
      end
      if n - 1 <= 0, k = n - 1; break; end
      if X(n - 1, 1) > xi, k = n - 2; continue; end
      top = true;  % beyond the last abscissa: the last interval
      break;
    end
    if top, s(1) = n - 1; k = n - 2; else, s(1) = k; end
    k = max(k, 0);
    s(2) = q(1);
    if k < n - 2 && xi == X(k + 2, 1) && X(k + 2, 1) == X(k + 3, 1)
      k = k + 1;
    elseif k > 0 && xi == X(k + 1, 1) && X(k + 1, 1) == X(k, 1)
      k = k - 1;
    end
    if n == 1
      alpha = 0; y(i) = X(1, 2);
    else
      width = X(k + 2, 1) - X(k + 1, 1);
      if width == 0, alpha = 0.5; else, alpha = (xi - X(k + 1, 1)) / width; end
      y(i) = alpha * X(k + 2, 2) + (1 - alpha) * X(k + 1, 2);
    end
    s(3) = alpha;
  end
end

% --- matrices of the descriptions ---------------------------------------------

% The logical matrix of a sparse description (sparse) or a dense array.
function [M, isSparse] = logical_matrix(s)
  isSparse = isstruct(s) && isfield(s, 'ir');
  if ~isstruct(s), M = s; return; end
  dims = s.dims;
  if ~isSparse, M = reshape(s.pr, dims(1), dims(2)); return; end
  trans = isfield(s, 'trans') && s.trans(1) ~= 0;
  stored = dims(:).';
  if trans, stored = fliplr(stored); end
  cols = repelem((1:stored(2))', diff(double(s.jc(1:stored(2) + 1))));
  M = sparse(double(s.ir(1:numel(cols))) + 1, cols, s.pr(1:numel(cols)), stored(1), stored(2));
  if trans, M = M.'; end
end

% r + M.'*f over the first values of f (one per row of M); a dense
% transposed M is a single row scaled by f(1).
function r = add_transposed(s, F, r)
  f = double(F(:));
  [M, isSparse] = logical_matrix(s);
  if isSparse
    r(1:columns(M)) = r(1:columns(M)) + M.' * f(1:rows(M));
  elseif isstruct(s) && isfield(s, 'trans') && s.trans(1) ~= 0
    r(1:numel(s.pr)) = r(1:numel(s.pr)) + s.pr(:) * f(1);
  end
end
